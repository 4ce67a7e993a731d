#include <tavel/nodes/Node.h>
#include <tavel/registry/Factory.h>
#include <tavel/registry/Registry.h>

#include <memory>
#include <utility>

namespace Norv::Tavel {

boost::shared_ptr<Factory> Factory::m_defaultFactory;

Factory::ClassFactory::ClassFactory(norv::basalt::Uuid const& uuid) : m_uuid(uuid) {}

void Factory::Deleter::operator()(Factory* factory) const {
    delete factory;
}

Factory::Factory() = default;

Factory::~Factory() {
    for (auto& entry : m_classFactories)
        delete entry.second;
}

boost::shared_ptr<Factory> Factory::create() {
    boost::shared_ptr<Factory> const factory(new Factory, Deleter());
    if (!m_defaultFactory) {
        m_defaultFactory = factory;
        return m_defaultFactory;
    }
    return factory;
}

boost::shared_ptr<Factory> Factory::get() {
    if (m_defaultFactory)
        return m_defaultFactory;
    return create();
}

bool Factory::registerClass(norv::basalt::Uuid const& clsId, QString const& name,
                            CreateFunction const& create) {
    if (m_classFactories.count(clsId) != 0)
        return false;
    auto record = std::make_unique<ClassFactory>(clsId);
    record->m_create = create;
    record->m_name = name;
    // The table takes ownership only once the insertion can no longer fail.
    m_classFactories.emplace(clsId, record.get());
    record.release();
    return true;
}

bool Factory::registerClass(norv::basalt::Uuid const& clsId, std::string const& name,
                            CreateFunction const& create) {
    return registerClass(clsId, QString::fromStdString(name), create);
}

bool Factory::registerClass(norv::basalt::Uuid const& clsId, char const* name,
                            CreateFunction const& create) {
    return registerClass(clsId, QString::fromUtf8(name), create);
}

norv::basalt::Ref<Node> Factory::run(ClassFactory const& entry,
                                     boost::shared_ptr<Registry> const& registry, long long id) {
    // An empty function throws boost::bad_function_call here, before anything changes.
    return entry.m_create(registry, id);
}

norv::basalt::Ref<Node> Factory::createByUUID(boost::shared_ptr<Registry> registry,
                                              norv::basalt::Uuid const& clsId, long long id) const {
    auto const found = m_classFactories.find(clsId);
    if (found == m_classFactories.end())
        return norv::basalt::Ref<Node>();
    return run(*found->second, registry, id);
}

Factory::ClassFactory const* Factory::findByName(QString const& name) const {
    // Qt counts a null and an empty string equal; neither names a class.
    if (name.isEmpty())
        return nullptr;
    for (auto const& entry : m_classFactories) {
        if (entry.second->m_name == name)
            return entry.second;
    }
    return nullptr;
}

norv::basalt::Ref<Node> Factory::createByName(boost::shared_ptr<Registry> registry,
                                              QString const& name, long long id) const {
    ClassFactory const* const entry = findByName(name);
    if (entry == nullptr)
        return norv::basalt::Ref<Node>();
    return run(*entry, registry, id);
}

norv::basalt::Ref<Node> Factory::createByName(boost::shared_ptr<Registry> registry,
                                              std::string const& name, long long id) const {
    return createByName(std::move(registry), QString::fromStdString(name), id);
}

norv::basalt::Ref<Node> Factory::createByName(boost::shared_ptr<Registry> registry,
                                              char const* name, long long id) const {
    return createByName(std::move(registry), QString::fromUtf8(name), id);
}

bool Factory::canCreateUUID(norv::basalt::Uuid const& clsId) const {
    return m_classFactories.count(clsId) != 0;
}

bool Factory::canCreateName(QString const& name) const {
    return findByName(name) != nullptr;
}

bool Factory::canCreateName(std::string const& name) const {
    return canCreateName(QString::fromStdString(name));
}

bool Factory::canCreateName(char const* name) const {
    return canCreateName(QString::fromUtf8(name));
}

QStringList Factory::getClassNames() const {
    QStringList names;
    for (auto const& entry : m_classFactories)
        names.append(entry.second->m_name);
    return names;
}

QString Factory::getNameForUUID(norv::basalt::Uuid const& clsId) const {
    auto const found = m_classFactories.find(clsId);
    if (found == m_classFactories.end())
        return QString();
    return found->second->m_name;
}

} // namespace Norv::Tavel
