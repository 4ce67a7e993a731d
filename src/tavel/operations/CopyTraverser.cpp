#include <tavel/operations/CopyTraverser.h>

#include <tavel/types/Exceptions.h>

namespace Norv::Tavel {

using norv::basalt::Ref;

CopyTraverser::CopyTraverser(Ref<Node> const& source, int flags)
    : m_source(source), m_flags(flags) {}

CopyTraverser::~CopyTraverser() = default;

void CopyTraverser::setIgnoreAttributeNames(QStringList const&) {}
void CopyTraverser::setIgnoreAttributeNames(std::vector<std::string> const&) {}
void CopyTraverser::setIgnorePathList(QStringList const&) {}
void CopyTraverser::setIgnorePathList(std::vector<std::string> const&) {}

Ref<Node> CopyTraverser::apply(boost::shared_ptr<Registry>) {
    throw NotSupported("");
}

Ref<Node> CopyTraverser::apply(Ref<Node> const&, boost::shared_ptr<Registry>, int) {
    throw NotSupported("");
}

void CopyTraverser::buildHierarchy(Ref<Node> const&, Ref<Node>, bool) {
    throw NotSupported("");
}

} // namespace Norv::Tavel
