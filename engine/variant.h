#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>

namespace geminor {

/// A point in time as days since 1899-12-30, the fraction being the time of day.
struct DateValue
{
    double days = 0;
    bool operator==(const DateValue &) const = default;
};

/// An object held by reference; copies of a Variant share it.
using ObjectRef = std::shared_ptr<void>;

/// The tagged value of the record store's keys and slots. Texts are shared and immutable, so a
/// copy costs a reference count, never a string copy.
class Variant
{
public:
    enum class Type : std::uint8_t {
        Empty,
        Byte,
        Integer,
        Long,
        Single,
        Double,
        Boolean,
        Date,
        Text,
        Object
    };

    Variant() = default;
    Variant(std::uint8_t v) : m_value(v) {}
    Variant(std::int16_t v) : m_value(v) {}
    Variant(std::int32_t v) : m_value(v) {}
    Variant(float v) : m_value(v) {}
    Variant(double v) : m_value(v) {}
    Variant(bool v) : m_value(v) {}
    Variant(DateValue v) : m_value(v) {}
    Variant(std::string text) : m_value(std::make_shared<const std::string>(std::move(text))) {}
    Variant(const char *text) : Variant(std::string(text)) {}
    Variant(std::string_view text) : Variant(std::string(text)) {}
    Variant(ObjectRef object) : m_value(ObjectSlot{std::move(object)}) {}

    /// An object reference to nothing.
    static Variant Nothing() { return Variant(ObjectRef{}); }

    Type type() const { return static_cast<Type>(m_value.index()); }
    bool isEmpty() const { return type() == Type::Empty; }
    bool isText() const { return type() == Type::Text; }
    bool isObject() const { return type() == Type::Object; }
    bool isNothing() const { return isObject() && !object(); }
    bool isNumber() const;
    /// Byte, 16-bit and 32-bit integers: the kinds that mean a position in the record store.
    bool isWholeNumber() const
    {
        return type() == Type::Byte || type() == Type::Integer || type() == Type::Long;
    }

    /// The text; empty for values that are not texts.
    const std::string &text() const;
    /// The value as a number (Booleans are -1 and 0, texts and objects 0).
    double number() const;
    std::int64_t wholeNumber() const { return static_cast<std::int64_t>(number()); }
    const ObjectRef &object() const;

    bool operator==(const Variant &other) const;

private:
    struct ObjectSlot
    {
        ObjectRef ref;
    };
    std::variant<std::monostate, std::uint8_t, std::int16_t, std::int32_t, float, double, bool, DateValue,
                 std::shared_ptr<const std::string>, ObjectSlot>
        m_value;
};

/// Orders two keys: texts by byte (case folded when `ignoreCase` and the probe is a text),
/// numbers by value, and kinds by the rank empty < number < text < object. Never allocates.
int CompareKeys(const Variant &probe, const Variant &key, bool ignoreCase);

}  // namespace geminor
