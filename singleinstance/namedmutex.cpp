#include "singleinstance/namedmutex.h"

#include <utility>

NamedMutex::~NamedMutex()
{
    close();
}

NamedMutex::NamedMutex(NamedMutex &&other) noexcept : object(std::exchange(other.object, nullptr))
{}

NamedMutex &NamedMutex::operator=(NamedMutex &&other) noexcept
{
    if (this != &other) {
        close();
        object = std::exchange(other.object, nullptr);
    }
    return *this;
}
