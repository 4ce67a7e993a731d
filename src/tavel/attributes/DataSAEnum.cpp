#include <tavel/attributes/DataSAEnum.h>

namespace Norv::Tavel {

namespace {
constexpr unsigned int NO_SUCH_NAME = 0xFFFFFFFFu;
}

SAEnum::SAEnum(Node* owner, QStringList const& values, GUIControlType controlType)
    : AttributeBase<SingleAttributeBase<AT_S_ENUM>>(owner, controlType), m_stringValues(values) {}

SAEnum::~SAEnum() = default;

SAEnum& SAEnum::operator=(SAEnum const& other) {
    if (&other != this) {
        Attribute::operator=(other);
        m_stringValues = other.m_stringValues;
    }
    return *this;
}

void SAEnum::assign(Attribute const& other) {
    if (other.getAttributeType() != AT_S_ENUM) {
        setGeneric(other.getGeneric());
        return;
    }
    // Read before the names notify: a subscriber may remove either attribute.
    unsigned int const value = valueOf(other.getGeneric());
    if (auto const* names = dynamic_cast<SAEnum const*>(&other)) {
        QStringList const values = names->m_stringValues;
        Hold const hold(*this);
        setStringValues(values);
        set(value);
        return;
    }
    set(value);
}

void SAEnum::copy(Attribute const& other) {
    if (other.getAttributeType() != AT_S_ENUM) {
        throw BadCastException("");
    }
    // The names, then the index, through assign.
    Attribute::copy(other);
}

void SAEnum::setGeneric(AttributeValue const& value) {
    switch (value.m_type) {
    case AT_S_ENUM:
    case AT_S_UINT32:
        set(valueOf(value));
        return;
    case AT_S_STRING: {
        QString const* name = value.get<QString>();
        if (name == nullptr) {
            throw BadCastException("");
        }
        setAsString(*name);
        return;
    }
    default:
        throw BadCastException("");
    }
}

std::size_t SAEnum::getNumberOfElements() const {
    return static_cast<std::size_t>(m_stringValues.size());
}

QStringList SAEnum::getStringValues() const {
    return m_stringValues;
}

unsigned int SAEnum::getEnumValue(QString const& name) const {
    auto const position = m_stringValues.indexOf(name);
    return position < 0 ? NO_SUCH_NAME : static_cast<unsigned int>(position);
}

QString SAEnum::getStringValue(unsigned int index) const {
    if (index >= getNumberOfElements()) {
        return QString();
    }
    return m_stringValues.at(static_cast<int>(index));
}

QString SAEnum::getAsString() const {
    return getStringValue(get());
}

void SAEnum::setAsString(QString const& name) {
    unsigned int const index = getEnumValue(name);
    if (index != NO_SUCH_NAME) {
        set(index);
    }
}

void SAEnum::setStringValues(QStringList const& values) {
    if (values == m_stringValues) {
        return;
    }
    m_stringValues = values;
    // The value is clamped after the names are reported, whatever their subscribers do.
    Hold const hold(*this);
    postChange(CA_ENUM_VALUES_CHANGED, false, *this, -1);
    set(get());
}

void SAEnum::appendEnum(QString const& name) {
    if (m_stringValues.contains(name)) {
        return;
    }
    m_stringValues.append(name);
    postChange(CA_ENUM_VALUES_CHANGED, false, *this, -1);
}

void SAEnum::removeEnum(QString const& name) {
    unsigned int const current = get();
    unsigned int const position = getEnumValue(name);
    if (position == NO_SUCH_NAME) {
        return;
    }
    m_stringValues.removeAt(static_cast<int>(position));
    Hold const hold(*this);
    postChange(CA_ENUM_VALUES_CHANGED, false, *this, -1);
    if (position < current) {
        set(current - 1);
    } else if (position == current) {
        set(0);
    }
}

void SAEnum::clearEnums() {
    if (m_stringValues.isEmpty()) {
        return;
    }
    m_stringValues.clear();
    Hold const hold(*this);
    postChange(CA_ENUM_VALUES_CHANGED, false, *this, -1);
    set(0);
}

DataSAEnum::DataSAEnum(Node* owner, QStringList const& values, unsigned int const& value,
                       GUIControlType controlType)
    : SAEnum(owner, values, controlType), m_value(value) {}

DataSAEnum::~DataSAEnum() = default;

DataSAEnum& DataSAEnum::operator=(DataSAEnum const& other) {
    if (&other != this) {
        SAEnum::operator=(other);
        m_value = other.m_value;
    }
    return *this;
}

void DataSAEnum::set(unsigned int const& index) {
    if (index == m_value || index >= getNumberOfElements()) {
        return;
    }
    m_value = index;
    postChange(CA_VALUE_CHANGED, false, *this, -1);
}

unsigned int DataSAEnum::get() const {
    return m_value;
}

} // namespace Norv::Tavel
