#pragma once
// CompareTraverser: whether two node hierarchies are equal.
//
//   bool same = CompareTraverser::compare(a, b, 0xE3);
//
// The attributes of both nodes are walked side by side in their sequence order
// and compared pairwise by the properties the flag bits select; node
// references are followed into both hierarchies whatever the flags. Custom
// attributes pair up in their order of creation. Attributes can be left out by
// name or by path ("child/name", "items[2]/name"); each side builds its paths
// from its own names.
//
// What a caller must know:
// - A node compared with itself is equal without any hook being asked; a node
//   and a null reference are unequal, two null references equal.
// - preCompareAction runs before a pair's attributes are looked at (false:
//   unequal), postCompareAction after they all compared equal (its result is
//   the pair's). When one node has attributes left over, the first of them
//   decides and postCompareAction is not asked.
// - On cyclic hierarchies a pair met again while it is being compared counts
//   as equal, so the comparison ends. Without ignore paths, a pair already
//   found equal is not compared again.
// - The walk uses a work list of its own: hierarchies of any depth are
//   compared without recursion.
// - Nothing is thrown of its own; what a hook or an attribute throws passes
//   through. Hooks may edit or release nodes; the traverser holds the nodes it
//   compares, and an attribute removed meanwhile is passed over.

#include <tavel/Export.h>
#include <tavel/nodes/Node.h>
#include <tavel/types/AttributeValue.h>

#include <basalt/RefCounting.h>

#include <QSet>
#include <QString>
#include <QStringList>

#include <deque>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace Norv::Tavel {

// One comparison of two hierarchies by the properties its flags select; it holds the
// nodes it compares while it runs.
class TAVEL_EXPORT CompareTraverser {
public:
    // Values of attributes other than node references, with Attribute::compare.
    static constexpr int COMPARE_VALUES = 0x01;
    static constexpr int COMPARE_NAMES = 0x02;
    static constexpr int COMPARE_HUMAN_READABLE_NAMES = 0x04;
    static constexpr int COMPARE_GUI_CONTROL_TYPES = 0x08;
    static constexpr int COMPARE_MIN_MAX_VALUES = 0x10;
    // Instance-data attributes take part; when clear they are passed over.
    static constexpr int COMPARE_INSTANCE_DATA = 0x20;
    // Custom attributes take part; when clear they are passed over.
    static constexpr int COMPARE_CUSTOM_ATTRIBUTES = 0x40;
    static constexpr int COMPARE_CLASS_IDS = 0x80;
    // The ignore list of names is applied (kept by setIgnoreAttributeNames).
    static constexpr int COMPARE_IGNORE_ATTRIBUTE_NAMES = 0x100;
    // The ignore list of paths is applied (kept by setIgnorePathList).
    static constexpr int COMPARE_IGNORE_PATHS = 0x200;

    // Other bits of `flags` are kept and ignored.
    CompareTraverser(norv::basalt::Ref<Node> const& first, norv::basalt::Ref<Node> const& second,
                     int flags);
    ~CompareTraverser();
    CompareTraverser(CompareTraverser const&) = delete;
    CompareTraverser& operator=(CompareTraverser const&) = delete;

    // Replace the list; a non-empty list sets its flag bit, an empty one clears
    // it. Exact, case-sensitive matches.
    void setIgnoreAttributeNames(QStringList const& names);
    void setIgnoreAttributeNames(std::vector<std::string> const& names);
    void setIgnorePathList(QStringList const& paths);
    void setIgnorePathList(std::vector<std::string> const& paths);

    bool compare();
    static bool compare(norv::basalt::Ref<Node> const& first, norv::basalt::Ref<Node> const& second,
                        int flags);

    // The equality used for minimum and maximum values: same kind, then the
    // kind's rule (float kinds within epsilon, lists of float and double exact).
    static bool valuesEqual(AttributeValue const& a, AttributeValue const& b);

protected:
    bool compareNodes(norv::basalt::Ref<Node> const& first, norv::basalt::Ref<Node> const& second);

private:
    struct Walk;
    using Pair = std::pair<norv::basalt::Ref<Node>, norv::basalt::Ref<Node>>;

    int m_flags;
    norv::basalt::Ref<Node> m_first;
    norv::basalt::Ref<Node> m_second;
    QSet<QString> m_ignoreAttributeNames;
    QSet<QString> m_ignorePaths;
    std::deque<QString> m_firstPath;
    std::deque<QString> m_secondPath;

    // Pairs of shared nodes under comparison (false) or found equal (true).
    std::map<Pair, bool> m_pairs;
};

} // namespace Norv::Tavel
