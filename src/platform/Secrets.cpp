#include "platform/Secrets.h"

#include <sodium.h>

#include <vector>

namespace orvelo::secrets {

namespace {

bool ready()
{
    // sodium_init() is itself safe to call from several threads and more than once.
    static const bool initialised = sodium_init() >= 0;
    return initialised;
}

} // namespace

std::optional<std::string> hashPassword(std::string_view password)
{
    if (!ready())
        return std::nullopt;
    char hash[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(hash, password.data(), password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
        return std::nullopt;
    return std::string(hash);
}

bool verifyPassword(std::string_view hash, std::string_view password)
{
    if (!ready() || hash.empty() || hash.size() >= crypto_pwhash_STRBYTES)
        return false;
    const std::string terminated(hash);
    return crypto_pwhash_str_verify(terminated.c_str(), password.data(), password.size()) == 0;
}

std::string randomToken(std::size_t bytes)
{
    ready();
    std::vector<unsigned char> random(bytes);
    randombytes_buf(random.data(), random.size());
    std::string text(sodium_base64_ENCODED_LEN(bytes, sodium_base64_VARIANT_URLSAFE_NO_PADDING), '\0');
    sodium_bin2base64(text.data(), text.size(), random.data(), random.size(), sodium_base64_VARIANT_URLSAFE_NO_PADDING);
    text.resize(text.find('\0'));
    return text;
}

std::string digest(std::string_view secret)
{
    ready();
    unsigned char out[crypto_generichash_BYTES];
    crypto_generichash(out, sizeof out, reinterpret_cast<const unsigned char*>(secret.data()), secret.size(), nullptr,
                       0);
    char hex[crypto_generichash_BYTES * 2 + 1];
    sodium_bin2hex(hex, sizeof hex, out, sizeof out);
    return std::string(hex);
}

bool equalInConstantTime(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    return a.empty() || sodium_memcmp(a.data(), b.data(), a.size()) == 0;
}

} // namespace orvelo::secrets
