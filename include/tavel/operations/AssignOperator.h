#pragma once
// AssignOperator: makes an existing node (the target) take over the attribute
// values of another node of the same class (the source), in place. The
// target keeps its identity, registry and owners; its attributes receive the
// values through their ordinary operations, so every change is notified like
// any other edit.
//
//   AssignOperator op(target, source, AssignOperator::ASSIGN_INTO_REFERENCES);
//   op.setIgnoreAttributeNames(QStringList{"label"});
//   op.apply();                              // or Node::assign(source): 319
//
// What a caller must know:
// - Flags choose what else is carried (display names, control types,
//   instance data, custom attributes, ranges and enumeration names) and how
//   node references are treated: shared (no reference bit), copied
//   (ASSIGN_COPY_REFERENCES, copies made with the low four bits) or assigned
//   into the nodes the target already refers to (ASSIGN_INTO_REFERENCES).
//   Unknown bits are ignored.
// - A source attribute the target has no attribute of that name for is
//   skipped (unless custom attributes are created, ASSIGN_CUSTOM_ATTRIBUTES).
//   A target attribute of another type than its source throws
//   BadCastException before that attribute is touched.
// - Assigning into references assigns each node of the target's hierarchy
//   once: a node met again (on a cycle, or along a second path) keeps what
//   its first assignment gave it, so cyclic hierarchies end. A node assigned
//   onto itself keeps its attributes (only the hook runs). Hierarchies of
//   any depth are walked without recursion.
// - Null target or source: InvalidOperationException; different classes:
//   ClassIdsDoNotMatchException; both before any change. Exceptions of the
//   attribute operations, subscribers and hooks pass through; what was
//   assigned stays assigned and the remaining hooks are not called.
// - Each target receives postAssignAction(source, flags) once its own
//   attributes are done, the nodes it refers to first.

#include <tavel/Export.h>
#include <tavel/nodes/Node.h>

#include <basalt/RefCounting.h>

#include <QSet>
#include <QString>
#include <QStringList>

#include <string>
#include <vector>

namespace Norv::Tavel {

// One assignment of a source hierarchy onto a target of the same class, made in place
// through ordinary, notified edits.
class TAVEL_EXPORT AssignOperator {
public:
    static constexpr int ASSIGN_HUMAN_READABLE_NAMES = 0x01;
    static constexpr int ASSIGN_GUI_CONTROL_TYPES = 0x02;
    static constexpr int ASSIGN_INSTANCE_DATA = 0x04;
    // Removable (custom) attributes are looked up on the target and created
    // there when missing.
    static constexpr int ASSIGN_CUSTOM_ATTRIBUTES = 0x08;
    // The target's custom attributes are removed (silently) first.
    static constexpr int ASSIGN_REMOVE_CUSTOM_ATTRIBUTES = 0x10;
    static constexpr int ASSIGN_RANGES_AND_ENUM_NAMES = 0x20;
    static constexpr int ASSIGN_COPY_REFERENCES = 0x40;
    // Kept by setIgnoreAttributeNames.
    static constexpr int ASSIGN_IGNORE_ATTRIBUTE_NAMES = 0x80;
    static constexpr int ASSIGN_INTO_REFERENCES = 0x100;

    AssignOperator(norv::basalt::Ref<Node> target, norv::basalt::Ref<Node> const& source,
                   int flags);
    ~AssignOperator();
    AssignOperator(AssignOperator const&) = delete;
    AssignOperator& operator=(AssignOperator const&) = delete;

    // Names of source attributes to leave alone, at every depth. The flag
    // ASSIGN_IGNORE_ATTRIBUTE_NAMES is set exactly when the set is not empty.
    void setIgnoreAttributeNames(QStringList const& names);
    void setIgnoreAttributeNames(std::vector<std::string> const& names);

    // Performs the assignment; running it again repeats it.
    void apply();
    static void apply(norv::basalt::Ref<Node> target, norv::basalt::Ref<Node> const& source,
                      int flags);

private:
    class Run;

    norv::basalt::Ref<Node> m_target;
    norv::basalt::Ref<Node> m_source;
    int m_flags;
    QSet<QString> m_ignoreAttributeNames;
};

} // namespace Norv::Tavel
