#pragma once
// The library's nine error classes. Each derives directly from
// std::runtime_error and is thrown with the empty message "": the class alone
// tells the error.

#include <tavel/Export.h>

#include <stdexcept>
#include <string>

namespace Norv::Tavel {

#define TAVEL_DECLARE_EXCEPTION(Name)                                                              \
    class TAVEL_EXPORT Name : public std::runtime_error {                                          \
    public:                                                                                        \
        explicit Name(std::string const& message = std::string());                                 \
        ~Name() override;                                                                          \
    };

// Removing an attribute that is not removable.
TAVEL_DECLARE_EXCEPTION(AttributeCannotBeRemovedException)
// Registering an attribute under a name that is taken.
TAVEL_DECLARE_EXCEPTION(AttributeExistsException)
// A value, attribute or node of the wrong kind or class handed to an attribute.
TAVEL_DECLARE_EXCEPTION(BadCastException)
// Assigning one node hierarchy onto another of a different class.
TAVEL_DECLARE_EXCEPTION(ClassIdsDoNotMatchException)
// An attribute name that fails validation.
TAVEL_DECLARE_EXCEPTION(InvalidAttributeNameException)
// An operation on a node in a state that forbids it (being destroyed).
TAVEL_DECLARE_EXCEPTION(InvalidOperationException)
// Min/max access on an attribute without a range; an unknown attribute type.
TAVEL_DECLARE_EXCEPTION(NotSupported)
// An element index past the end of a list; dereferencing an end iterator.
TAVEL_DECLARE_EXCEPTION(OutOfRangeException)
// An attribute that does not belong to the node asked.
TAVEL_DECLARE_EXCEPTION(UnknownAttributeException)

#undef TAVEL_DECLARE_EXCEPTION

} // namespace Norv::Tavel
