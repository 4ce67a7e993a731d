#include <tavel/types/Exceptions.h>

namespace Norv::Tavel {

// Out-of-line destructors anchor each class's type information in the library.
#define TAVEL_DEFINE_EXCEPTION(Name)                                                               \
    Name::Name(std::string const& message) : std::runtime_error(message) {}                        \
    Name::~Name() = default;

TAVEL_DEFINE_EXCEPTION(AttributeCannotBeRemovedException)
TAVEL_DEFINE_EXCEPTION(AttributeExistsException)
TAVEL_DEFINE_EXCEPTION(BadCastException)
TAVEL_DEFINE_EXCEPTION(ClassIdsDoNotMatchException)
TAVEL_DEFINE_EXCEPTION(InvalidAttributeNameException)
TAVEL_DEFINE_EXCEPTION(InvalidOperationException)
TAVEL_DEFINE_EXCEPTION(NotSupported)
TAVEL_DEFINE_EXCEPTION(OutOfRangeException)
TAVEL_DEFINE_EXCEPTION(UnknownAttributeException)

} // namespace Norv::Tavel
