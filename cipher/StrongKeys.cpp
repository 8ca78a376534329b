#include "cipher/StrongKeys.h"

#include <sodium.h>

namespace mg::strong {
namespace {
// Keys of old salts are dropped beyond this many; each costs a page or so
// of locked memory.
constexpr std::size_t kCachedKeys = 64;
} // namespace

void StrongKeys::SetPassphrase(std::string_view bytes)
{
    if (passphrase_.View() == bytes)
        return;
    Clear();
    passphrase_ = SecretBytes(bytes);
}

void StrongKeys::Clear()
{
    ++epoch_;
    passphrase_.Clear();
    cache_.clear(); // each key wipes itself
    haveBatchSalt_ = false;
}

const SecretBytes* StrongKeys::Key(const KdfParams& params, const Salt& salt)
{
    for (Entry& e : cache_) {
        if (e.params == params && e.salt == salt)
            return &e.key;
    }
    if (!derives_ || !SodiumReady())
        return nullptr;
    SecretBytes key(kKeyBytes);
    const auto* pass = reinterpret_cast<const char*>(passphrase_.Data());
    ++derivations_;
    if (::crypto_pwhash(key.Data(), key.Size(), pass ? pass : "", passphrase_.Size(), salt.data(), params.opsLimit,
                        std::size_t(params.memKiB) << 10, crypto_pwhash_ALG_ARGON2ID13)
        != 0)
        return nullptr;
    if (cache_.size() == kCachedKeys)
        cache_.erase(cache_.begin());
    cache_.push_back({params, salt, std::move(key)});
    return &cache_.back().key;
}

StrongKeys StrongKeys::CachedCopy() const
{
    StrongKeys copy;
    copy.derives_ = false;
    copy.epoch_ = epoch_;
    copy.cache_.reserve(cache_.size());
    for (const Entry& e : cache_)
        copy.cache_.push_back({e.params, e.salt, SecretBytes(e.key.View())});
    return copy;
}

void StrongKeys::NewBatch()
{
    haveBatchSalt_ = false;
}

const Salt& StrongKeys::BatchSalt()
{
    if (!haveBatchSalt_ && SodiumReady()) {
        ::randombytes_buf(batchSalt_.data(), batchSalt_.size());
        haveBatchSalt_ = true;
    }
    return batchSalt_;
}

} // namespace mg::strong
