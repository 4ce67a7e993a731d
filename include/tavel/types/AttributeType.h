#pragma once
// The numbered vocabulary of the attribute model: the 36 attribute kinds, the
// editor control kinds and the change actions. The numbers are interface:
// they are stored in specifications, passed to subscribers and written to
// streams.
//
// Every kind is defined once, in TAVEL_ATTRIBUTE_KINDS; the enumeration, the
// kind traits, the names, attribute creation and generic dispatch are all
// expanded from that one list.

#include <tavel/Export.h>
#include <tavel/types/ValueTypes.h>

#include <basalt/RefCounting.h>

#include <QString>

#include <cstdint>

namespace Norv::Tavel {

class TAVEL_EXPORT Node;
// A strong reference to a node: the value of node-reference attributes.
using NodeRef = norv::basalt::Ref<Node>;

// X(enumerator, number, element type, human name, family)
// Single kinds hold one element; list kinds (family List or NodeList) hold a
// std::vector of it. Families: Plain (DataSA), Ranged (DataSA or
// DataSAMinMax), Enum, Node (single node reference), List (DataMA), NodeList.
#define TAVEL_ATTRIBUTE_KINDS(X)                                                                   \
    X(AT_S_BOOL, 0, bool, "SingleBool", Plain)                                                     \
    X(AT_S_BYTE, 1, unsigned char, "SingleByte", Plain)                                            \
    X(AT_S_DOUBLE, 2, double, "SingleDouble", Ranged)                                              \
    X(AT_S_ENUM, 3, unsigned int, "SingleEnum", Enum)                                              \
    X(AT_S_FLOAT, 4, float, "SingleFloat", Ranged)                                                 \
    X(AT_S_FLOAT2, 5, ::Norv::Tavel::FloatVec2, "SingleFloat2", Ranged)                            \
    X(AT_S_FLOAT3, 6, ::Norv::Tavel::FloatVec3, "SingleFloat3", Ranged)                            \
    X(AT_S_FLOAT4, 7, ::Norv::Tavel::FloatVec4, "SingleFloat4", Ranged)                            \
    X(AT_S_INT32, 8, int, "SingleInt", Ranged)                                                     \
    X(AT_S_INT64, 9, std::int64_t, "SingleInt64", Ranged)                                          \
    X(AT_S_UINT32, 10, unsigned int, "SingleUInt", Ranged)                                         \
    X(AT_S_UINT64, 11, std::uint64_t, "SingleUInt64", Ranged)                                      \
    X(AT_S_STRING, 12, QString, "SingleString", Plain)                                             \
    X(AT_S_VEC2, 13, ::Norv::Tavel::Vec2f, "SingleVec2", Plain)                                    \
    X(AT_S_VEC3, 14, ::Norv::Tavel::Vec3f, "SingleVec3", Plain)                                    \
    X(AT_S_VEC4, 15, ::Norv::Tavel::Vec4f, "SingleVec4", Plain)                                    \
    X(AT_S_QUAT, 16, ::Norv::Tavel::Quatf, "SingleQuat", Plain)                                    \
    X(AT_S_MAT44, 17, ::Norv::Tavel::Mat44f, "SingleMatrix44", Plain)                              \
    X(AT_S_NODE_PTR, 18, ::Norv::Tavel::NodeRef, "SingleNode", Node)                               \
    X(AT_M_BOOL, 19, bool, "MultiBool", List)                                                      \
    X(AT_M_BYTE, 20, unsigned char, "MultiByte", List)                                             \
    X(AT_M_DOUBLE, 21, double, "MultiDouble", List)                                                \
    X(AT_M_FLOAT, 22, float, "MultiFloat", List)                                                   \
    X(AT_M_FLOAT2, 23, ::Norv::Tavel::FloatVec2, "MultiFloat2", List)                              \
    X(AT_M_FLOAT3, 24, ::Norv::Tavel::FloatVec3, "MultiFloat3", List)                              \
    X(AT_M_FLOAT4, 25, ::Norv::Tavel::FloatVec4, "MultiFloat4", List)                              \
    X(AT_M_INT32, 26, int, "MultiInt", List)                                                       \
    X(AT_M_INT64, 27, std::int64_t, "MultiInt64", List)                                            \
    X(AT_M_UINT32, 28, unsigned int, "MultiUInt", List)                                            \
    X(AT_M_UINT64, 29, std::uint64_t, "MultiUInt64", List)                                         \
    X(AT_M_STRING, 30, QString, "MultiString", List)                                               \
    X(AT_M_VEC2, 31, ::Norv::Tavel::Vec2f, "MultiVec2", List)                                      \
    X(AT_M_VEC3, 32, ::Norv::Tavel::Vec3f, "MultiVec3", List)                                      \
    X(AT_M_VEC4, 33, ::Norv::Tavel::Vec4f, "MultiVec4", List)                                      \
    X(AT_M_QUAT, 34, ::Norv::Tavel::Quatf, "MultiQuat", List)                                      \
    X(AT_M_NODE_PTR, 35, ::Norv::Tavel::NodeRef, "MultiNode", NodeList)

// The kind of value an attribute holds. 0 to 18 single values, 19 to 35 lists.
// Exported: a hidden enum would hide every template instantiated over it
// (DataSA<N> and the rest) from hosts built with clang.
enum TAVEL_EXPORT AttributeType : std::int32_t {
#define TAVEL_X(enumerator, number, element, human, family) enumerator = number,
    TAVEL_ATTRIBUTE_KINDS(TAVEL_X)
#undef TAVEL_X
};

// Number of kinds; also the "no such type" value the name lookups return.
constexpr int ATTRIBUTE_TYPE_COUNT = 36;
constexpr AttributeType AT_INVALID_TYPE = static_cast<AttributeType>(ATTRIBUTE_TYPE_COUNT);

namespace detail {
#define TAVEL_X(enumerator, number, element, human, family) +1
constexpr int LISTED_KIND_COUNT = 0 TAVEL_ATTRIBUTE_KINDS(TAVEL_X);
#undef TAVEL_X
} // namespace detail
static_assert(detail::LISTED_KIND_COUNT == ATTRIBUTE_TYPE_COUNT, "every kind is listed once");

constexpr bool isValidAttributeType(AttributeType type) {
    return static_cast<std::uint32_t>(type) < static_cast<std::uint32_t>(ATTRIBUTE_TYPE_COUNT);
}

// X(enumerator, number); the text name of each control is its enumerator.
#define TAVEL_GUI_CONTROL_TYPES(X)                                                                 \
    X(gt_none, 0)                                                                                  \
    X(gt_group, 1)                                                                                 \
    X(gt_float, 2)                                                                                 \
    X(gt_float2, 3)                                                                                \
    X(gt_float3, 4)                                                                                \
    X(gt_float4, 5)                                                                                \
    X(gt_enum, 6)                                                                                  \
    X(gt_text, 7)                                                                                  \
    X(gt_text_multiline, 8)                                                                        \
    X(gt_shader_filename, 9)                                                                       \
    X(gt_texture_2d_and_cube_filename, 10)                                                         \
    X(gt_texture_2d_and_video_filename, 11)                                                        \
    X(gt_texture_2d_and_video_and_flash_filename, 12)                                              \
    X(gt_color, 13)                                                                                \
    X(gt_bool, 14)                                                                                 \
    X(gt_int, 15)                                                                                  \
    X(gt_unsignedint, 16)                                                                          \
    X(gt_label, 17)                                                                                \
    X(gt_material_editor, 18)                                                                      \
    X(gt_color_editor, 19)                                                                         \
    X(gt_radio_buttons, 20)                                                                        \
    X(gt_vendor_info, 21)                                                                          \
    X(gt_texture_tonemapping, 22)                                                                  \
    X(gt_btf_filename, 23)

// The editor control that shows an attribute; metadata the library only stores.
enum GUIControlType : std::int32_t {
#define TAVEL_X(enumerator, number) enumerator = number,
    TAVEL_GUI_CONTROL_TYPES(TAVEL_X)
#undef TAVEL_X
};

// Number of controls; also what the name lookup returns for an unknown name.
constexpr int GUI_CONTROL_TYPE_COUNT = 24;

// What a change report is about. Number 3 is never produced.
enum ChangeAction : std::int32_t {
    CA_VALUE_CHANGED = 0,
    CA_ELEMENTS_INSERTED = 1,
    CA_ELEMENTS_REMOVED = 2,
    CA_UPDATES_RELEASED = 4,
    CA_ENUM_VALUES_CHANGED = 5,
    CA_ATTRIBUTE_ADDED = 6,
    CA_ATTRIBUTE_REMOVING = 7,
    CA_ATTRIBUTE_REMOVED = 8,
    CA_CHILD_CHANGED = 9,
    CA_NODE_DESTROYED = 10,
};

} // namespace Norv::Tavel
