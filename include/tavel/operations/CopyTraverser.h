#pragma once
// CopyTraverser: the deep copy of a node and of every node reachable from it
// through node-reference attributes.
//
//   Ref<Node> copy = CopyTraverser::apply(scene, registry, 0x0F);
//
// Each source node other than the root is copied once per traversal, so nodes
// shared in the source are shared in the copy and reference cycles end. (The
// root is recorded nowhere: a reference back to it makes one further copy of
// it, whose own references reuse the copies already made.) Nodes that share
// storage are copied so that their copies share storage the same way: the
// first node met of a body gets a full copy, every further one a shared-only
// visit of that copy (instance data, references and the display properties).
//
// Flag bits choose what is copied; two optional lists leave attributes out by
// name or by path ("child/name", "items[2]/name": names joined with "/" from
// the root, list elements with their index). Ignore paths name attributes, not
// list elements. Copies are made with createInstance and filled through the
// ordinary attribute operations, so they notify like any other change; each
// copy gets its postCopyAction once per visit, the referenced nodes first.
//
// What a caller must know:
// - The walk uses a work list of its own: hierarchies of any depth are copied
//   without recursion.
// - The source is only read. Hooks and subscribers may edit or release any
//   node meanwhile; the traverser holds every node it touched until it is
//   destroyed, and takes what the hooks left behind as it finds it.
// - Nothing is thrown of its own; what createInstance, the attribute setters,
//   registerAttribute or a hook throw passes through, and the copy made so far
//   stays as it is until the traverser is destroyed. A traverser destroyed
//   after a failed apply unlinks the references between the copies it made,
//   so an unfinished copy with cycles does not outlive it.
// - A traverser is meant for one apply: a second one reuses the copies the
//   first recorded.

#include <tavel/Export.h>
#include <tavel/nodes/Node.h>
#include <tavel/registry/NodeSStorage.h>
#include <tavel/registry/Registry.h>

#include <basalt/RefCounting.h>

#include <boost/shared_ptr.hpp>

#include <QSet>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace Norv::Tavel {

// One deep copy of a hierarchy; it holds every node it touched until it is destroyed.
class TAVEL_EXPORT CopyTraverser {
public:
    // The target attribute's display name is set from the source attribute.
    static constexpr int COPY_HUMAN_READABLE_NAMES = 0x01;
    // The target attribute's GUI control type is set from the source attribute.
    static constexpr int COPY_GUI_CONTROL_TYPES = 0x02;
    // Instance-data attributes are copied; when clear they are left out.
    static constexpr int COPY_INSTANCE_DATA = 0x04;
    // Custom attributes are created on the copy; when clear they are left out.
    static constexpr int COPY_CUSTOM_ATTRIBUTES = 0x08;
    // The ignore list of names is applied (kept by setIgnoreAttributeNames).
    static constexpr int COPY_IGNORE_ATTRIBUTE_NAMES = 0x10;
    // The ignore list of paths is applied (kept by setIgnorePathList).
    static constexpr int COPY_IGNORE_PATHS = 0x20;

    // Other bits of `flags` are kept and ignored.
    CopyTraverser(norv::basalt::Ref<Node> const& source, int flags);
    ~CopyTraverser();
    CopyTraverser(CopyTraverser const&) = delete;
    CopyTraverser& operator=(CopyTraverser const&) = delete;

    // Replace the list; a non-empty list sets its flag bit, an empty one clears
    // it. Names and paths match exactly (case-sensitive); empty entries and
    // entries that match nothing leave nothing out.
    void setIgnoreAttributeNames(QStringList const& names);
    void setIgnoreAttributeNames(std::vector<std::string> const& names);
    void setIgnorePathList(QStringList const& paths);
    void setIgnorePathList(std::vector<std::string> const& paths);

    // Copies the hierarchy; the root's copy is made in `registry`, the copies
    // of referenced nodes in the registry of the static form (empty here, so
    // they join their referrer's registry when attached). Null for a null
    // source.
    norv::basalt::Ref<Node> apply(boost::shared_ptr<Registry> registry);
    // The copy of `source` with every node made in `registry`.
    static norv::basalt::Ref<Node> apply(norv::basalt::Ref<Node> const& source,
                                         boost::shared_ptr<Registry> registry, int flags);

protected:
    // Copies the attributes of `source` onto `target` and, through the work
    // list, of every node below; sharedOnly visits copy only instance data,
    // references and the display properties.
    void buildHierarchy(norv::basalt::Ref<Node> const& source, norv::basalt::Ref<Node> target,
                        bool sharedOnly);

private:
    struct Walk;

    norv::basalt::Ref<Node> m_source;
    norv::basalt::Ref<Node> m_copy;
    int m_flags;
    QSet<QString> m_ignoreAttributeNames;
    QSet<QString> m_ignorePaths;
    std::map<norv::basalt::Ref<Node>, norv::basalt::Ref<Node>> m_copies;
    std::map<long long, norv::basalt::Ref<NodeSStorage>> m_sharedCopies;
    std::deque<QString> m_pathStack;
    boost::shared_ptr<Registry> m_targetRegistry;

    // Every (source, target) pair visited for a node with shared storage:
    // meeting one again (a cycle, a second reference) visits it no more.
    std::set<std::pair<norv::basalt::Ref<Node>, norv::basalt::Ref<Node>>> m_storageVisits;
    // The nodes made by createInstance, in the order they were made.
    std::vector<norv::basalt::Ref<Node>> m_made;
    bool m_failed = false;
};

} // namespace Norv::Tavel
