// Every attribute class template, instantiated once for every kind it
// serves, so hosts compile none of them and every kind is exported.

#include <tavel/attributes/DataMA.h>
#include <tavel/attributes/DataSA.h>
#include <tavel/attributes/DataSAMinMax.h>
#include <tavel/nodes/Node.h>

namespace Norv::Tavel {

#define TAVEL_INSTANTIATE_SINGLE(enumerator)                                                       \
    template class SingleAttributeBase<enumerator>;                                                \
    template class AttributeBase<SingleAttributeBase<enumerator>>;
#define TAVEL_INSTANTIATE_MULTI(enumerator)                                                        \
    template class MultiAttributeBase<enumerator>;                                                 \
    template class AttributeBase<MultiAttributeBase<enumerator>>;

#define TAVEL_INSTANTIATE_Plain(enumerator)                                                        \
    TAVEL_INSTANTIATE_SINGLE(enumerator)                                                           \
    template class DataSA<enumerator>;
#define TAVEL_INSTANTIATE_Ranged(enumerator)                                                       \
    TAVEL_INSTANTIATE_Plain(enumerator) template class DataSAMinMax<enumerator>;
#define TAVEL_INSTANTIATE_Enum(enumerator) TAVEL_INSTANTIATE_SINGLE(enumerator)
#define TAVEL_INSTANTIATE_Node(enumerator) TAVEL_INSTANTIATE_SINGLE(enumerator)
#define TAVEL_INSTANTIATE_List(enumerator)                                                         \
    TAVEL_INSTANTIATE_MULTI(enumerator)                                                            \
    template class DataMA<enumerator>;
#define TAVEL_INSTANTIATE_NodeList(enumerator) TAVEL_INSTANTIATE_MULTI(enumerator)

#define TAVEL_X(enumerator, number, element, human, family) TAVEL_INSTANTIATE_##family(enumerator)
TAVEL_ATTRIBUTE_KINDS(TAVEL_X)
#undef TAVEL_X

} // namespace Norv::Tavel
