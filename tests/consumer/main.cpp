// Uses the installed library through its umbrella header only.
#include <tavel/tavel.h>

#include <cstdio>

int main() {
    using namespace Norv::Tavel;
    boost::shared_ptr<Attribute> const attribute = createAttribute(AT_S_FLOAT, nullptr, true);
    attribute->setGeneric(AttributeValue(2.5f));
    norv::basalt::Uuid const id("{92F11271-E81E-4945-B01D-40134F3A3C5D}");
    bool const ok = Utilities::AttributeTypeToString(attribute->getAttributeType()) ==
                        QStringLiteral("SingleFloat") &&
                    id.toString() == "{92F11271-E81E-4945-B01D-40134F3A3C5D}";
    std::puts(ok ? "consumer: ok" : "consumer: FAILED");
    return ok ? 0 : 1;
}
