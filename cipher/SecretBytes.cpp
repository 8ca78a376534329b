#include "cipher/SecretBytes.h"

#include <cstring>
#include <new>
#include <sodium.h>
#include <string.h>

namespace mg {

bool SodiumReady()
{
    static const bool ready = ::sodium_init() >= 0;
    return ready;
}

void WipeString(std::string& text)
{
    // The whole buffer, not only the current length: a shorter value may
    // have replaced a longer secret in the same storage.
    if (text.capacity() > 0)
        ::explicit_bzero(text.data(), text.capacity());
    text.clear();
}

SecretBytes::SecretBytes(std::size_t size)
{
    if (size == 0)
        return;
    if (!SodiumReady())
        throw std::bad_alloc();
    data_ = static_cast<std::uint8_t*>(::sodium_malloc(size));
    if (data_ == nullptr)
        throw std::bad_alloc();
    size_ = size;
    ::sodium_memzero(data_, size_);
}

SecretBytes::SecretBytes(std::string_view bytes) : SecretBytes(bytes.size())
{
    if (!bytes.empty())
        std::memcpy(data_, bytes.data(), bytes.size());
}

SecretBytes::~SecretBytes()
{
    Clear();
}

SecretBytes::SecretBytes(SecretBytes&& other) noexcept : data_(other.data_), size_(other.size_)
{
    other.data_ = nullptr;
    other.size_ = 0;
}

SecretBytes& SecretBytes::operator=(SecretBytes&& other) noexcept
{
    if (this != &other) {
        Clear();
        data_ = other.data_;
        size_ = other.size_;
        other.data_ = nullptr;
        other.size_ = 0;
    }
    return *this;
}

void SecretBytes::Clear()
{
    if (data_ != nullptr)
        ::sodium_free(data_); // wipes before freeing
    data_ = nullptr;
    size_ = 0;
}

} // namespace mg
