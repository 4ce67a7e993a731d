#pragma once
// The whole public interface of the library and its base component.

#include <basalt/DebugOutput.h>
#include <basalt/Errors.h>
#include <basalt/Function.h>
#include <basalt/RefCounting.h>
#include <basalt/Signal.h>
#include <basalt/Uuid.h>

#include <tavel/types/AttributeTraits.h>
#include <tavel/types/AttributeType.h>
#include <tavel/types/AttributeValue.h>
#include <tavel/types/Exceptions.h>
#include <tavel/types/ValueTypes.h>

#include <tavel/attributes/Attribute.h>
#include <tavel/attributes/AttributeBase.h>
#include <tavel/attributes/CreateAttribute.h>
#include <tavel/attributes/DataMA.h>
#include <tavel/attributes/DataMANode.h>
#include <tavel/attributes/DataSA.h>
#include <tavel/attributes/DataSAEnum.h>
#include <tavel/attributes/DataSAMinMax.h>
#include <tavel/attributes/DataSANode.h>

#include <tavel/nodes/CustomNode.h>
#include <tavel/nodes/Node.h>
#include <tavel/nodes/NodeSignals.h>
#include <tavel/nodes/SequencedIterator.h>
#include <tavel/nodes/Specification.h>

#include <tavel/registry/Factory.h>
#include <tavel/registry/NodeSStorage.h>
#include <tavel/registry/Registry.h>

#include <tavel/operations/AssignOperator.h>
#include <tavel/operations/CompareTraverser.h>
#include <tavel/operations/CopyTraverser.h>
#include <tavel/operations/NodeSynchronizer.h>

#include <tavel/conversion/Serializer.h>
#include <tavel/conversion/Utilities.h>
