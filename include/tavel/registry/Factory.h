#pragma once
// Factory: creates nodes by class identifier or class name through the creation functions
// that node classes enter with registerClass, and tells which classes it knows.
//
//   auto factory = Factory::get();   // the process-wide default
//   factory->registerClass(Lamp::getUUID(), "Lamp",
//                          [](boost::shared_ptr<Registry> r, long long id) -> Ref<Node> {
//                              return Ref<Node>(new Lamp(r, id));
//                          });
//   Ref<Node> lamp = factory->createByName(registry, "Lamp", EMPTY_NODE_ID);
//
// Factories live only in the shared pointers create() makes. The first one made becomes
// the default and lives until the library is unloaded; registries link factories weakly.
// Unknown identifiers and names give null results. An entry without a creation function
// throws boost::bad_function_call when used; creation functions' own exceptions pass
// through. No locks: the table must not change while another thread reads it.

#include <tavel/Export.h>

#include <basalt/RefCounting.h>
#include <basalt/Uuid.h>

#include <boost/function.hpp>
#include <boost/shared_ptr.hpp>

#include <QString>
#include <QStringList>

#include <map>
#include <string>

namespace Norv::Tavel {

class Node;
class Registry;

// The table of node classes and their creation functions; it lives only in the shared
// pointers create() and get() hand out.
class TAVEL_EXPORT Factory {
public:
    // Given the registry for the new node (may be empty) and its id, returns the new node.
    using CreateFunction =
        boost::function<norv::basalt::Ref<Node>(boost::shared_ptr<Registry>, long long)>;

    // One known class: its identifier, creation function and name.
    struct TAVEL_EXPORT ClassFactory {
        using CreateFunction = Factory::CreateFunction;

        norv::basalt::Uuid m_uuid;
        CreateFunction m_create;
        QString m_name;

        // No creation function and a null name.
        explicit ClassFactory(norv::basalt::Uuid const& uuid);
    };

    Factory(Factory const&) = delete;
    Factory& operator=(Factory const&) = delete;

    // A new, empty factory; the very first one made becomes (and is returned as) the default.
    static boost::shared_ptr<Factory> create();
    // The default factory, made on first use.
    static boost::shared_ptr<Factory> get();

    // Enters a class. A second entry for an identifier is refused (false); the first stays.
    bool registerClass(norv::basalt::Uuid const& clsId, QString const& name,
                       CreateFunction const& create);
    bool registerClass(norv::basalt::Uuid const& clsId, std::string const& name,
                       CreateFunction const& create);
    bool registerClass(norv::basalt::Uuid const& clsId, char const* name,
                       CreateFunction const& create);

    // registry and id are passed on unchanged; EMPTY_NODE_ID lets the node draw its id.
    norv::basalt::Ref<Node> createByUUID(boost::shared_ptr<Registry> registry,
                                         norv::basalt::Uuid const& clsId, long long id) const;
    // Uses the entry with the smallest identifier among those named exactly so
    // (case-sensitive). An empty or null name matches nothing.
    norv::basalt::Ref<Node> createByName(boost::shared_ptr<Registry> registry, QString const& name,
                                         long long id) const;
    norv::basalt::Ref<Node> createByName(boost::shared_ptr<Registry> registry,
                                         std::string const& name, long long id) const;
    norv::basalt::Ref<Node> createByName(boost::shared_ptr<Registry> registry, char const* name,
                                         long long id) const;

    // True for a known identifier, whether or not its creation function is set.
    bool canCreateUUID(norv::basalt::Uuid const& clsId) const;
    bool canCreateName(QString const& name) const;
    bool canCreateName(std::string const& name) const;
    bool canCreateName(char const* name) const;

    // One name per entry in identifier order, equal and null names included.
    QStringList getClassNames() const;
    // A null string for an unknown identifier.
    QString getNameForUUID(norv::basalt::Uuid const& clsId) const;

private:
    // Lets the shared pointers made by create() reach the private destructor.
    struct Deleter {
        void operator()(Factory* factory) const;
    };

    Factory();
    virtual ~Factory();

    ClassFactory const* findByName(QString const& name) const;
    static norv::basalt::Ref<Node> run(ClassFactory const& entry,
                                       boost::shared_ptr<Registry> const& registry, long long id);

    // Owns its records.
    std::map<norv::basalt::Uuid, ClassFactory*> m_classFactories;

    static boost::shared_ptr<Factory> m_defaultFactory;
};

} // namespace Norv::Tavel
