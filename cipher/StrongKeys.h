#pragma once
// The strong format's keys: the passphrase in guarded memory and the keys
// derived from it with Argon2id, one per salt and parameters, kept for the
// run so that the files of one batch (which share a salt) cost one slow
// derivation however many of them are opened.
#include "cipher/SecretBytes.h"

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace mg::strong {

// Argon2id's cost: passes over the memory and the memory in KiB.
struct KdfParams {
    std::uint32_t opsLimit = 0;
    std::uint32_t memKiB = 0;
    bool operator==(const KdfParams&) const = default;
};

// What this program writes: about half a second on a two-core desktop.
inline constexpr KdfParams kWriteParams{3, 128u << 10};
// The most a reader accepts from a file's header, so that a hostile header
// cannot make it allocate gigabytes or run for minutes.
inline constexpr KdfParams kReadCap{16, 1u << 20};

inline constexpr std::size_t kSaltBytes = 16;
inline constexpr std::size_t kKeyBytes = 32;
using Salt = std::array<std::uint8_t, kSaltBytes>;

class StrongKeys {
public:
    // Takes the bytes of the passphrase typed last. A different passphrase
    // drops every derived key; the same one keeps them.
    void SetPassphrase(std::string_view bytes);
    bool HasPassphrase() const { return !passphrase_.Empty(); }
    // Wipes the passphrase and every derived key.
    void Clear();

    // The key of the current passphrase for these parameters and salt,
    // derived on first use; nullptr when the derivation fails (out of
    // memory). Parameters must already be within kReadCap.
    const SecretBytes* Key(const KdfParams& params, const Salt& salt);

    // The salt and parameters of the files encrypted next. A batch starts
    // with NewBatch, so its files share one derivation; a new batch gets a
    // new salt.
    void NewBatch();
    const Salt& BatchSalt();
    KdfParams writeParams = kWriteParams; // tests and benchmarks lower it

    // How many Argon2id derivations ran (for tests and benchmarks).
    unsigned Derivations() const { return derivations_; }

    // Counts the changes of passphrase (and the wipes): a copy of the keys
    // taken at one count is stale at any other.
    std::uint64_t Epoch() const { return epoch_; }
    // A copy of the keys derived so far, without the passphrase, for a
    // worker thread that reads ahead: its Key() gives only those keys and
    // never runs the slow derivation. Throws std::bad_alloc when guarded
    // memory runs out.
    StrongKeys CachedCopy() const;

    StrongKeys() = default;
    StrongKeys(StrongKeys&&) = default;
    StrongKeys& operator=(StrongKeys&&) = default;

private:
    struct Entry {
        KdfParams params;
        Salt salt;
        SecretBytes key;
    };
    SecretBytes passphrase_;
    std::vector<Entry> cache_;
    Salt batchSalt_{};
    bool haveBatchSalt_ = false;
    unsigned derivations_ = 0;
    std::uint64_t epoch_ = 0;
    bool derives_ = true; // false in a CachedCopy
};

} // namespace mg::strong
