#pragma once
// Enum attributes (kind AT_S_ENUM): a choice out of a list of names that
// belongs to the attribute object itself. SAEnum holds the names and the
// name-based operations; DataSAEnum stores the chosen index.
//
// The index is not tied to the list: it may point past the end (after the
// list shrank, or when constructed so); name lookups then give the empty
// string and are never read past the names. set() ignores indexes past the
// end. Changes of the list report CA_ENUM_VALUES_CHANGED, changes of the
// index CA_VALUE_CHANGED. Generic values hand out the index tagged
// AT_S_UINT32; setGeneric accepts AT_S_ENUM and AT_S_UINT32 indexes and
// AT_S_STRING names (unknown names are ignored).

#include <tavel/attributes/AttributeBase.h>

#include <QStringList>

namespace Norv::Tavel {

// An enumeration value: an index into a list of names.
class TAVEL_EXPORT SAEnum : public AttributeBase<SingleAttributeBase<AT_S_ENUM>> {
public:
    SAEnum(SAEnum const& other) = default;
    // Assigns through Attribute::operator= (with its reports), then takes the
    // list as it is, without a report.
    SAEnum& operator=(SAEnum const& other);

    void assign(Attribute const& other) override;
    void copy(Attribute const& other) override;
    void setGeneric(AttributeValue const& value) override;

    std::size_t getNumberOfElements() const;
    QStringList getStringValues() const;
    // The position of the first equal name; 0xFFFFFFFF when absent.
    unsigned int getEnumValue(QString const& name) const;
    // The name at index; empty when index is past the end.
    QString getStringValue(unsigned int index) const;
    QString getAsString() const;
    // Chooses the name if it is in the list; otherwise does nothing.
    void setAsString(QString const& name);

    void setStringValues(QStringList const& values);
    void appendEnum(QString const& name);
    // Keeps the index on the same name where it can: an earlier name removed
    // moves it down by one; the chosen name removed chooses the first.
    void removeEnum(QString const& name);
    void clearEnums();

protected:
    SAEnum(Node* owner, QStringList const& values, GUIControlType controlType);
    ~SAEnum() override;

    QStringList m_stringValues;
};

// The enumeration attribute a node class declares as a member.
class TAVEL_EXPORT DataSAEnum : public SAEnum {
public:
    // The index is stored unchecked.
    DataSAEnum(Node* owner, QStringList const& values, unsigned int const& value,
               GUIControlType controlType);
    DataSAEnum(DataSAEnum const& other) = default;
    DataSAEnum& operator=(DataSAEnum const& other);
    ~DataSAEnum() override;

    // Ignores an equal index and an index past the end of the names.
    void set(unsigned int const& index) override;
    unsigned int get() const override;

protected:
    unsigned int m_value;
};

} // namespace Norv::Tavel
