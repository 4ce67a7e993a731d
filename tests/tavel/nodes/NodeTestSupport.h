#pragma once
#include "support/NodeTestSupport.h"
