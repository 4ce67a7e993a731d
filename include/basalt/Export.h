#pragma once
// Symbol visibility of the base component: the library builds with hidden
// visibility, so every class and function hosts may use is marked.

#define BASALT_EXPORT __attribute__((visibility("default")))
