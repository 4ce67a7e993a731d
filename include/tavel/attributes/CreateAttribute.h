#pragma once
// createAttribute: the one factory through which nodes make the attribute
// object for a kind. The new attribute has control gt_none, incarnation 1,
// and holds zero, false, the empty string, zeroed vectors, quaternions and
// matrices, an empty list or a null reference. With withMinMax, the number
// and float-vector kinds get the range variant spanning their whole type
// (other kinds ignore the flag). Kinds above 35: NotSupported.

#include <tavel/attributes/Attribute.h>

#include <boost/shared_ptr.hpp>

namespace Norv::Tavel {

TAVEL_EXPORT boost::shared_ptr<Attribute> createAttribute(AttributeType type, Node* owner,
                                                          bool withMinMax);

} // namespace Norv::Tavel
