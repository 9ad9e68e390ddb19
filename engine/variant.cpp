#include "engine/variant.h"

#include "engine/case_fold.h"

namespace geminor {
namespace {

int rank(const Variant &v)
{
    if (v.isEmpty())
        return 0;
    if (v.isText())
        return 2;
    if (v.isObject())
        return 3;
    return 1;
}

template <typename T> int threeWay(const T &a, const T &b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

}  // namespace

bool Variant::isNumber() const
{
    const Type t = type();
    return t != Type::Empty && t != Type::Text && t != Type::Object;
}

const std::string &Variant::text() const
{
    static const std::string empty;
    const auto *text = std::get_if<std::shared_ptr<const std::string>>(&m_value);
    return text ? **text : empty;
}

double Variant::number() const
{
    switch (type()) {
    case Type::Byte: return std::get<std::uint8_t>(m_value);
    case Type::Integer: return std::get<std::int16_t>(m_value);
    case Type::Long: return std::get<std::int32_t>(m_value);
    case Type::Single: return std::get<float>(m_value);
    case Type::Double: return std::get<double>(m_value);
    case Type::Boolean: return std::get<bool>(m_value) ? -1 : 0;
    case Type::Date: return std::get<DateValue>(m_value).days;
    default: return 0;
    }
}

const ObjectRef &Variant::object() const
{
    static const ObjectRef none;
    const auto *slot = std::get_if<ObjectSlot>(&m_value);
    return slot ? slot->ref : none;
}

bool Variant::operator==(const Variant &other) const
{
    if (type() != other.type())
        return false;
    if (isText())
        return text() == other.text();
    if (isObject())
        return object() == other.object();
    return number() == other.number();
}

int CompareKeys(const Variant &probe, const Variant &key, bool ignoreCase)
{
    const int rp = rank(probe), rk = rank(key);
    if (rp != rk)
        return threeWay(rp, rk);
    switch (rp) {
    case 1: return threeWay(probe.number(), key.number());
    case 2:
        return ignoreCase ? CompareFolded(probe.text(), key.text())
                          : threeWay<std::string_view>(probe.text(), key.text());
    case 3: return threeWay(probe.object().get(), key.object().get());
    default: return 0;
    }
}

}  // namespace geminor
