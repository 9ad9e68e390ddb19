#include "results/extended_attributes.h"

#include <cerrno>
#include <sys/xattr.h>
#include <vector>

namespace geminor {

std::map<std::string, std::string> ExtendedAttributesOf(int fd)
{
    std::map<std::string, std::string> attributes;
    std::vector<char> names;
    for (;;) {  // the list may grow between asking its size and reading it
        const ssize_t size = ::flistxattr(fd, nullptr, 0);
        if (size <= 0)
            return attributes;
        names.resize(static_cast<std::size_t>(size));
        const ssize_t got = ::flistxattr(fd, names.data(), names.size());
        if (got >= 0) {
            names.resize(static_cast<std::size_t>(got));
            break;
        }
        if (errno != ERANGE)
            return attributes;
    }
    for (std::size_t at = 0; at < names.size();) {
        const std::string name(names.data() + at);
        at += name.size() + 1;
        const ssize_t size = ::fgetxattr(fd, name.c_str(), nullptr, 0);
        std::string value(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
        const ssize_t got = size > 0 ? ::fgetxattr(fd, name.c_str(), value.data(), value.size()) : size;
        if (got >= 0)
            attributes[name] = value.substr(0, static_cast<std::size_t>(got));
    }
    return attributes;
}

void CopyExtendedAttributes(int from, int to)
{
    for (const auto &[name, value] : ExtendedAttributesOf(from))
        ::fsetxattr(to, name.c_str(), value.data(), value.size(), 0);
}

}  // namespace geminor
