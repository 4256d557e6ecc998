#include "UiText.h"

namespace corvel {

const wchar_t kOleInitFailedText[] =
    L"OLE の初期化に失敗しました。OLE ライブラリのバージョンが正しいことを確認してください。";

namespace {

struct BuiltinEntry {
    unsigned Id;
    const wchar_t* Text;
};

constexpr BuiltinEntry kBuiltin[] = {
    {128, L"Corvel"},
    {200, L"接続制御"},
    {201, L"接続中"},
    {202, L"未接続"},
    {203, L"切断"},
    {204, L"接続"},
    {205, L"VPN接続が失敗しました。接続設定が正しいことを確認してください。"},
    {206, L"接続に成功しました。"},
    {207, L"次の接続先へのVPN接続をしています。"},
    {208, L"VPN接続の状態"},
    {209, L"編集中の接続設定を保存しますか？"},
    {210, L"IPアドレス ："},
    {211, L"ホスト名 ："},
    {212, L"事前共有鍵と事前共有鍵（再入力）で異なる文字列が指定されました。"},
    {213, L"接続設定の呼び出しが失敗しました。"},
    {214, L"接続設定の保存が失敗しました。"},
    {215, L"VPN切断が失敗しました。"},
    {216, L"VPNへのアクセスを終了します。\nよろしいですか？"},
    {218, L"「接続先ネットワーク」を0.0.0.0/0に設定することはできません。"},
    {219, L"IPアドレスまたはホスト名が入力されていません。"},
    {227, L"アプリケーションの起動が失敗しました。再起動をして下さい。"},
    {228, L"アプリケーションの起動が失敗しました。再インストールをして下さい。"},
};

const std::wstring kEmpty;

} // namespace

int CUiText::IndexOf(unsigned id) {
    if (id == 128)
        return 0;
    if (id >= 200 && id <= 228)
        return int(id - 199);
    return -1;
}

unsigned CUiText::IdAt(int index) {
    return index == 0 ? 128u : 199u + unsigned(index);
}

bool CUiText::IsReserved(unsigned id) {
    return id == 217 || (id >= 220 && id <= 226);
}

const std::wstring& CUiText::Get(unsigned id) const {
    const int index = IndexOf(id);
    return index < 0 ? kEmpty : m_texts[size_t(index)];
}

void CUiText::Fill(const std::vector<std::wstring>& lines,
                   const std::function<std::wstring(unsigned)>& builtin) {
    for (int k = 0; k < kCount; ++k) {
        const unsigned id = IdAt(k);
        std::wstring& text = m_texts[size_t(k)];
        if (IsReserved(id)) {
            text.clear();
            continue;
        }
        if (size_t(k) < lines.size() && !lines[size_t(k)].empty())
            text = lines[size_t(k)];
        else
            text = builtin ? builtin(id) : std::wstring(BuiltinUiText(id));
    }
}

const wchar_t* BuiltinUiText(unsigned id) {
    for (const BuiltinEntry& entry : kBuiltin) {
        if (entry.Id == id)
            return entry.Text;
    }
    return L"";
}

} // namespace corvel
