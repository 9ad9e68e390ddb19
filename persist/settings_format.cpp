#include "persist/settings_format.h"

#include <QIODevice>
#include <QStringList>
#include <cctype>

namespace geminor {
namespace {

/// Section and key names: Qt writes anything but letters, digits, '-', '_' and '.' as %XX
/// (and %UXXXX beyond Latin-1).
QString decodedName(QByteArrayView raw)
{
    QByteArray out;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const qsizetype digits = i + 1 < raw.size() && raw[i + 1] == 'U' ? 4 : 2;
        const qsizetype first = i + (digits == 4 ? 2 : 1);
        bool ok = false;
        const int code = raw[i] == '%' && first + digits <= raw.size()
                             ? raw.sliced(first, digits).toByteArray().toInt(&ok, 16)
                             : 0;
        if (ok) {
            out += QString(QChar(code)).toUtf8();
            i = first + digits - 1;
        } else {
            out += raw[i];
        }
    }
    return QString::fromUtf8(out);
}

QByteArray encodedName(const QString &name)
{
    QByteArray out;
    for (const QChar ch : name) {
        const char16_t c = ch.unicode();
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
            c == '_' || c == '.' || c == '/')
            out += static_cast<char>(c);
        else if (c <= 0xFF)
            out += '%' + QByteArray::number(c, 16).toUpper().rightJustified(2, '0');
        else
            out += "%U" + QByteArray::number(c, 16).toUpper().rightJustified(4, '0');
    }
    return out;
}

/// A value as Qt writes it: quoted where it holds ',', ';', '=' or edge spaces, with C escapes.
QString unescapedValue(QByteArrayView raw)
{
    QByteArray out;
    bool quoted = false;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c == '"') {
            quoted = !quoted;
            continue;
        }
        if (!quoted && (c == ' ' || c == '\t') && (out.isEmpty() || i + 1 == raw.size()))
            continue;
        if (c != '\\' || i + 1 == raw.size()) {
            out += c;
            continue;
        }
        const char e = raw[++i];
        switch (e) {
        case 'a': out += '\a'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'v': out += '\v'; break;
        case 'x': {
            qsizetype end = i + 1;
            while (end < raw.size() && end < i + 5 && std::isxdigit(static_cast<unsigned char>(raw[end])))
                ++end;
            const int code = raw.sliced(i + 1, end - i - 1).toByteArray().toInt(nullptr, 16);
            out += QString(QChar(code)).toUtf8();
            i = end - 1;
            break;
        }
        case '0': out += '\0'; break;
        default: out += e;
        }
    }
    QString text = QString::fromUtf8(out.trimmed());
    if (text.startsWith(QLatin1String("@@")))
        text.remove(0, 1);  // Qt's escape for a text that begins with '@'
    return text;
}

QByteArray escapedValue(const QString &text)
{
    const QString value = text.startsWith(QLatin1Char('@')) ? QLatin1Char('@') + text : text;
    QByteArray out;
    bool quote = value.startsWith(QLatin1Char(' ')) || value.endsWith(QLatin1Char(' '));
    for (const char c : value.toUtf8()) {
        switch (c) {
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\0': out += "\\0"; break;
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        default:
            if (c == ';' || c == ',' || c == '=')
                quote = true;
            if (static_cast<unsigned char>(c) < 0x20)
                out += "\\x" + QByteArray::number(static_cast<unsigned char>(c), 16);
            else
                out += c;
        }
    }
    return quote ? '"' + out + '"' : out;
}

bool readText(QIODevice &device, QSettings::SettingsMap &map)
{
    QString section;
    const QByteArray all = device.readAll();
    for (const QByteArray &whole : all.split('\n')) {
        const QByteArray line = whole.trimmed();
        if (line.isEmpty() || line.front() == ';' || line.front() == '#')
            continue;
        if (line.front() == '[') {
            const qsizetype close = line.indexOf(']');
            section = decodedName(line.sliced(1, (close < 0 ? line.size() : close) - 1));
            if (section.compare(QLatin1String("General"), Qt::CaseInsensitive) == 0)
                section.clear();
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (equals <= 0)
            continue;
        const QString key = decodedName(line.first(equals).trimmed());
        map.insert(section.isEmpty() ? key : section + QLatin1Char('/') + key,
                   unescapedValue(line.sliced(equals + 1)));
    }
    return true;
}

bool writeText(QIODevice &device, const QSettings::SettingsMap &map)
{
    QByteArray text;
    QString section = QStringLiteral("\x01");  // no section written yet
    for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
        const qsizetype slash = it.key().lastIndexOf(QLatin1Char('/'));
        const QString group = slash < 0 ? QStringLiteral("General") : it.key().first(slash);
        if (group != section) {
            if (!text.isEmpty())
                text += '\n';
            text += '[' + encodedName(group) + "]\n";
            section = group;
        }
        text += encodedName(it.key().sliced(slash + 1)) + '=' + escapedValue(it.value().toString()) + '\n';
    }
    return device.write(text) == text.size();
}

}  // namespace

QSettings::Format TextSettingsFormat()
{
    static const QSettings::Format format =
        QSettings::registerFormat(QStringLiteral("conf"), readText, writeText);
    return format;
}

}  // namespace geminor
