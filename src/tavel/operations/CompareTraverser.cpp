#include <tavel/operations/CompareTraverser.h>

#include <tavel/types/Exceptions.h>

namespace Norv::Tavel {

using norv::basalt::Ref;

CompareTraverser::CompareTraverser(Ref<Node> const& first, Ref<Node> const& second, int flags)
    : m_flags(flags), m_first(first), m_second(second) {}

CompareTraverser::~CompareTraverser() = default;

void CompareTraverser::setIgnoreAttributeNames(QStringList const&) {}
void CompareTraverser::setIgnoreAttributeNames(std::vector<std::string> const&) {}
void CompareTraverser::setIgnorePathList(QStringList const&) {}
void CompareTraverser::setIgnorePathList(std::vector<std::string> const&) {}

bool CompareTraverser::compare() {
    throw NotSupported("");
}

bool CompareTraverser::compare(Ref<Node> const&, Ref<Node> const&, int) {
    throw NotSupported("");
}

bool CompareTraverser::valuesEqual(AttributeValue const&, AttributeValue const&) {
    throw NotSupported("");
}

bool CompareTraverser::compareNodes(Ref<Node> const&, Ref<Node> const&) {
    throw NotSupported("");
}

} // namespace Norv::Tavel
