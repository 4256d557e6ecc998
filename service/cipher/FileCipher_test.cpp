#include "FileCipher.h"
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace corvel;

namespace {

// Reference RC4, independent of CryptoAPI, to check the derived key against.
std::vector<uint8_t> Rc4Stream(const std::vector<uint8_t>& key, size_t count) {
    uint8_t s[256];
    for (int i = 0; i < 256; ++i) {
        s[i] = uint8_t(i);
    }
    for (int i = 0, j = 0; i < 256; ++i) {
        j = (j + s[i] + key[i % key.size()]) & 0xFF;
        std::swap(s[i], s[j]);
    }
    std::vector<uint8_t> out(count);
    for (size_t n = 0, i = 0, j = 0; n < count; ++n) {
        i = (i + 1) & 0xFF;
        j = (j + s[i]) & 0xFF;
        std::swap(s[i], s[j]);
        out[n] = s[(s[i] + s[j]) & 0xFF];
    }
    return out;
}

std::vector<uint8_t> FromHex(const std::string& hex) {
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(uint8_t(std::stoul(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

void UseDataFilePassword(CFileCipher& cipher) {
    cipher.SetPassword(kDataFilePassword, kDataFilePasswordLength);
}

std::vector<uint8_t> EncryptWith(void (*setup)(CFileCipher&), std::vector<uint8_t> data) {
    CFileCipher cipher;
    if (setup) {
        setup(cipher);
    }
    EXPECT_EQ(cipher.DeriveKey(), 0u);
    EXPECT_EQ(cipher.Encrypt(data.data(), DWORD(data.size())), 0u);
    cipher.Release();
    return data;
}

} // namespace

struct KnownKey {
    const char* name;
    void (*setup)(CFileCipher&);
    const char* key;
    const char* streamStart;
};

class FileCipherKnownAnswer : public ::testing::TestWithParam<KnownKey> {};

// Keys and stream starts computed outside this code: SHA-1 of the 8 password bytes, first
// 16 digest bytes as the RC4 key, no salt.
INSTANTIATE_TEST_SUITE_P(
    Passwords, FileCipherKnownAnswer,
    ::testing::Values(KnownKey{"DataFile", UseDataFilePassword, "682bfadd18e28c5124601ebd99482092",
                               "f8514f5d5d0f42ae4169eb3dfdfb4c15"},
                      KnownKey{"SettingsFile", nullptr, "c41a0aed77b3a16ec2a1038cff029e9b",
                               "87bd5fffc691b94af128fe1e3ce97cb7"}),
    [](const ::testing::TestParamInfo<KnownKey>& info) { return std::string(info.param.name); });

TEST_P(FileCipherKnownAnswer, WholeFileOfZerosIsTheKeyStream) {
    const size_t size = 23093;
    std::vector<uint8_t> encrypted = EncryptWith(GetParam().setup, std::vector<uint8_t>(size, 0));
    std::vector<uint8_t> start = FromHex(GetParam().streamStart);
    EXPECT_EQ(std::vector<uint8_t>(encrypted.begin(), encrypted.begin() + 16), start);
    EXPECT_EQ(encrypted, Rc4Stream(FromHex(GetParam().key), size));
}

TEST(FileCipher, RoundTripsWithSeparateCiphersAndKeysDiffer) {
    std::vector<uint8_t> plain(1126);
    for (size_t i = 0; i < plain.size(); ++i) {
        plain[i] = uint8_t(i * 7 + 3);
    }
    std::vector<uint8_t> dataFile = EncryptWith(UseDataFilePassword, plain);
    std::vector<uint8_t> settingsFile = EncryptWith(nullptr, plain);
    EXPECT_NE(dataFile, settingsFile);

    // Decrypting is the same stream operation, with a new cipher each time.
    CFileCipher cipher;
    UseDataFilePassword(cipher);
    ASSERT_EQ(cipher.DeriveKey(), 0u);
    std::vector<uint8_t> back = dataFile;
    ASSERT_EQ(cipher.Decrypt(back.data(), DWORD(back.size())), 0u);
    EXPECT_EQ(back, plain);

    CFileCipher wrong;
    ASSERT_EQ(wrong.DeriveKey(), 0u);
    std::vector<uint8_t> crossed = dataFile;
    ASSERT_EQ(wrong.Decrypt(crossed.data(), DWORD(crossed.size())), 0u);
    EXPECT_NE(crossed, plain);
}

TEST(FileCipher, PasswordIsCutToEightBytes) {
    auto longer = [](CFileCipher& c) { c.SetPassword("quarLMN4-and-more", 17); };
    std::vector<uint8_t> zeros(64, 0);
    EXPECT_EQ(EncryptWith(longer, zeros), EncryptWith(nullptr, zeros));
}

TEST(FileCipher, RefusesWorkWithoutKeyAndReleasesTwice) {
    CFileCipher cipher;
    std::vector<uint8_t> data(16, 0x5A);
    EXPECT_EQ(cipher.Encrypt(data.data(), DWORD(data.size())), DWORD(ERROR_NOT_READY));
    EXPECT_EQ(cipher.Decrypt(data.data(), DWORD(data.size())), DWORD(ERROR_NOT_READY));
    EXPECT_EQ(data, std::vector<uint8_t>(16, 0x5A));
    ASSERT_EQ(cipher.DeriveKey(), 0u);
    cipher.Release();
    cipher.Release();
    EXPECT_EQ(cipher.Encrypt(data.data(), DWORD(data.size())), DWORD(ERROR_NOT_READY));
}
