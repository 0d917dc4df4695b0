#include "Server/Ferrowin/MessageCatalogue.h"

#include <cstdio>

namespace {
#define DB_ACCESS "データベースのアクセスに失敗しました。"
#define REGISTRY "レジストリ情報の取得に失敗しました。"
}  // namespace

const CatalogueEntry kCatalogue[] = {
    {EventMessage::ProcedureReturnedError, "010101",
     "[prdUpdateVYLog]の実行でエラーが発生しました："},
    {EventMessage::ConfigurationException, "010103", DB_ACCESS},
    {EventMessage::CloseException, "010104", DB_ACCESS},
    {EventMessage::ProcedureExecuteException, "010105", DB_ACCESS},
    {EventMessage::ProcedurePrepareException, "010106", DB_ACCESS},
    {EventMessage::BulkLoadException, "010108", DB_ACCESS},
    {EventMessage::ImportFailed, "010109", "ログファイル[%s]のインポートに失敗しました。"},
    {EventMessage::ProcedureFailed, "010109", DB_ACCESS},
    {EventMessage::DsnNameUnreadable, "010114", REGISTRY},
    {EventMessage::DbUserIdUnreadable, "010115", REGISTRY},
    {EventMessage::DbPasswordUnreadable, "010116", REGISTRY},
    {EventMessage::InstallPathUnreadable, "010117", REGISTRY},
    {EventMessage::ProductKeyUnopenable, "010118", REGISTRY},
    {EventMessage::UntrustedSettings, "010119",
     "設定ファイル[%s]は他のユーザーが変更できるため、読み込みません。"},
    {EventMessage::BookkeepingOpenFailed, "010121", DB_ACCESS},
    {EventMessage::BookkeepingException, "010122", DB_ACCESS},
    {EventMessage::ConnectFailed, "010201", "データベースの接続に失敗しました。"},
    {EventMessage::FileAccessFailed, "050501", "[%s]ファイルアクセスに失敗しました。"},
    {EventMessage::FileDeleteFailed, "050601", "[%s]ファイル削除に失敗しました。"},
    {EventMessage::FileMoveFailed, "050602", "[%s]ファイル移動に失敗しました。"},
    {EventMessage::BackupMoveFailed, "050603",
     "ログファイル[%s]をバックアップフォルダ[%s]へ移動できませんでした。"
     "バックアップフォルダが存在するか確認してください。"},
    {EventMessage::ErrorMoveFailed, "050603",
     "ログファイル[%s]をエラーフォルダ[%s]へ移動できませんでした。"
     "エラーフォルダが存在するか確認してください。"},
    {EventMessage::BackupRenameFailed, "050604",
     "ログファイル[%s]のリネームに失敗しました。バックアップフォルダへ[%s]をコピーしてください。"},
    {EventMessage::ErrorRenameFailed, "050604",
     "ログファイル[%s]のリネームに失敗しました。エラーフォルダへ[%s]をコピーしてください。"},
    {EventMessage::UntrustedFolder, "050605",
     "ログファイル[%s]を移動しません。フォルダ[%s]は他のユーザーが変更できます。"},
    {EventMessage::ImportFailureNotice, "-2147472426",
     "VeyrithログのDB書込みに失敗しました。%s,%s"},
};

const std::size_t kCatalogueSize = sizeof kCatalogue / sizeof kCatalogue[0];

const char* EventId(EventMessage message) {
    return kCatalogue[static_cast<std::size_t>(message)].id;
}

const char* EventText(EventMessage message) {
    return kCatalogue[static_cast<std::size_t>(message)].text;
}

std::string FormatEventText(EventMessage message, std::initializer_list<std::string> arguments) {
    std::string text = EventText(message);
    std::string out;
    auto next = arguments.begin();
    for (size_t pos = 0;;) {
        size_t at = text.find("%s", pos);
        if (at == std::string::npos) {
            out += text.substr(pos);
            return out;
        }
        out += text.substr(pos, at - pos);
        if (next != arguments.end())
            out += *next++;
        pos = at + 2;
    }
}

std::string ImportFailureNoticeId() {
    char buffer[12] = {};
    std::snprintf(buffer, sizeof buffer, "%ld", kImportFailureEventNumber);
    return buffer;
}

std::string FormatNoticeTime(const Platform::LocalTime& t) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.4d/%.2d/%.2d %.2d:%.2d:%.2d%.3d", t.year, t.month,
                  t.day, t.hour, t.minute, t.second, t.milliseconds);
    return buffer;
}
