#pragma once
// Secrets (passphrases, derived keys) in memory that libsodium guards: locked
// against swapping, fenced by guard pages, and wiped when freed. Ordinary
// strings that held a secret are wiped with WipeString before they go.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace mg {

// Makes libsodium ready; false when it cannot start (no random source).
bool SodiumReady();

// Overwrites a string's bytes (its whole capacity) with zeros that the
// compiler may not drop, then empties it.
void WipeString(std::string& text);

class SecretBytes {
public:
    SecretBytes() = default;
    // Throws std::bad_alloc when the guarded memory cannot be had.
    explicit SecretBytes(std::size_t size);
    explicit SecretBytes(std::string_view bytes);
    ~SecretBytes();
    SecretBytes(SecretBytes&& other) noexcept;
    SecretBytes& operator=(SecretBytes&& other) noexcept;
    SecretBytes(const SecretBytes&) = delete;
    SecretBytes& operator=(const SecretBytes&) = delete;

    std::uint8_t* Data() { return data_; }
    const std::uint8_t* Data() const { return data_; }
    std::size_t Size() const { return size_; }
    bool Empty() const { return size_ == 0; }
    std::string_view View() const { return {reinterpret_cast<const char*>(data_), size_}; }
    // Wipes and frees the bytes; the object is then empty.
    void Clear();

private:
    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};

} // namespace mg
