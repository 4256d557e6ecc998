#include "DotDatRecord.h"

#include "FixedString.h"

#include <cstring>

namespace corvel {

namespace {

template <size_t N> void ZeroBehindTerminator(char16_t (&field)[N]) {
    ForceTerminator(field);
    for (size_t n = FixedLength(field, N); n < N; ++n)
        field[n] = u'\0';
}

} // namespace

void FillDefaultImage(uint8_t* image) {
    std::memset(image, 0, DotDatRecord::kSize);
    for (size_t i = 0; i < kVpnCount; ++i)
        VPNCONFIG::Default(i).Write(image + DotDatRecord::RecordOffset(i));
}

bool IsKnownDataFileSize(size_t size) {
    return size == DotDatRecord::kSize || size == DotDatRecord::kSize1694 || size == DotDatRecord::kSize1698;
}

bool ImageFromFileContent(const uint8_t* content, size_t size, uint8_t* image) {
    if (size == DotDatRecord::kSize) {
        std::memcpy(image, content, size);
    } else if (size == DotDatRecord::kSize1694 || size == DotDatRecord::kSize1698) {
        const OldRecordForm form =
            size == DotDatRecord::kSize1694 ? OldRecordForm::Form1694 : OldRecordForm::Form1698;
        std::memcpy(image, content, DotDatRecord::kOffRecords);
        for (size_t i = 0; i < kVpnCount; ++i) {
            VPNCONFIG record;
            ConvertOldRecord(content + DotDatRecord::kOffRecords + i * OldRecordSize(form), form, record);
            record.Write(image + DotDatRecord::RecordOffset(i));
        }
    } else {
        return false;
    }
    for (size_t i = 0; i < kVpnCount; ++i)
        CleanLoadedRecord(image + DotDatRecord::RecordOffset(i));
    // LogInfo is served to clients as it lies: its text must end inside its array too.
    LogInfo log = LogInfo::FromBytes(image + DotDatRecord::kOffLogInfo);
    if (log.Sanitize())
        log.Write(image + DotDatRecord::kOffLogInfo);
    return true;
}

void StoreRecord(uint8_t* storedRecord, const uint8_t* incoming) {
    VPNCONFIG stored = VPNCONFIG::FromBytes(storedRecord);
    const VPNCONFIG in = VPNCONFIG::FromBytes(incoming);

    CopyToFixed(stored.Name, in.Name);
    CopySecret(stored.PreSharedKey, in.PreSharedKey);
    CopySecret(stored.UserName, in.UserName);
    CopySecret(stored.Password, in.Password);
    CopyConnectionFields(in, stored);
    stored.UseRemoteGateway = in.UseRemoteGateway;
    stored.Write(storedRecord);
}

void ApplyAuthInfo(VPNCONFIG& record, const AUTHINFO& authInfo) {
    static_assert(AUTHINFO::kUserNameChars == VPNCONFIG::kUserNameChars &&
                      AUTHINFO::kPasswordChars == VPNCONFIG::kPasswordChars,
                  "credential fields");
    CopySecret(record.UserName, authInfo.UserName);
    CopySecret(record.Password, authInfo.Password);
}

void CleanLoadedRecord(uint8_t* record) {
    VPNCONFIG r = VPNCONFIG::FromBytes(record);
    r.Sanitize();
    ZeroBehindTerminator(r.PreSharedKey);
    ZeroBehindTerminator(r.UserName);
    ZeroBehindTerminator(r.Password);
    r.Write(record);
}

bool StoreLogInfo(uint8_t* image, const uint8_t* block) {
    if (block[LogInfo::kOffLogLevel] > 1)
        return false;
    uint8_t* target = image + DotDatRecord::kOffLogInfo;
    std::memcpy(target, block, LogInfo::kSize);
    target[LogInfo::kSize - 2] = 0;
    target[LogInfo::kSize - 1] = 0;
    return true;
}

} // namespace corvel
