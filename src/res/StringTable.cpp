// The texts of the string table and their lookup by resource id.
#include "res/StringTable.h"

#include "res/Resource.h"

#include <QStringView>

namespace {

struct Entry {
    int id;
    const char16_t *text;
};

// Texts exactly as the user sees them: Japanese, the full-width parentheses of 803/804 and the
// half-width katakana of 515 included.
constexpr Entry kStrings[] = {
    {IDP_OLE_INIT_FAILED,
     u"OLE の初期化に失敗しました。OLE ライブラリのバージョンが正しいことを確認してください。"},
    {IDS_TOOLBAR_STANDARD, u"標準"},
    {IDR_MAINFRAME, u"印刷プレビュー"},
    {ID_ZOOM_COMBO, u"\n拡大／縮小表示の倍率を指定します。"},
    {ID_PAGE_PREV, u"\n前のページを表示します。"},
    {ID_PAGE_EDIT, u"\n表示するページを入力します。"},
    {ID_PAGE_NEXT, u"\n次のページを表示します。"},
    {ID_INDICATOR_PAGE, u"表示ページ"},
    {ID_INDICATOR_COPIES, u"印刷部数"},
    {ID_INDICATOR_TAPEWIDTH, u"テープ幅"},
    {ID_INDICATOR_TAPELENGTH, u"テープ長"},
    {ID_INDICATOR_BLANK, u" "},
    {IDS_MM_FORMAT, u"%d mm"},
    {IDS_TITLE_FORMAT, u"%s - %s"},
    {IDS_PANE_PAGE_FORMAT, u"%s : %d/%d"},
    {IDS_PANE_COPIES_FORMAT, u"%s : %d"},
    {IDS_PANE_TAPEWIDTH_FORMAT, u"%s : %s"},
    {IDS_PANE_TAPELENGTH_FORMAT, u"%s : %s"},
    {IDS_ZOOM_600, u"600%"},
    {IDS_ZOOM_400, u"400%"},
    {IDS_ZOOM_300, u"300%"},
    {IDS_ZOOM_200, u"200%"},
    {IDS_ZOOM_150, u"150%"},
    {IDS_ZOOM_100, u"100%"},
    {IDS_ZOOM_75, u"75%"},
    {IDS_ZOOM_50, u"50%"},
    {IDS_ZOOM_25, u"25%"},
    {IDS_ZOOM_WHOLE_LABEL, u"ﾗﾍﾞﾙ全体を表示"},
    {IDS_VIEW_PAGE_SHOWN, u"表示中のページ"},
    {IDS_TAPE_PAGE_FORMAT, u"このページ : %d mm（%d ドット）"},
    {IDS_TAPE_JOB_FORMAT, u"ジョブ全体（%d 部）: %s mm（%s m）"},
    {IDS_TAPE_JOB_PENDING, u"ジョブ全体 : ページの作成中です"},
    {IDS_TAPE_JOB_UNREADABLE, u"ジョブ全体 : ページ %d の長さを読み取れません"},
    {IDS_TAPE_JOB_UNKNOWN, u"ジョブ全体 : 部数または解像度が正しくありません"},
    {IDS_CONFIRM_CANCEL, u"印刷を中止します。\nよろしいですか？"},
    {IDS_ERR_JOB_FILE, u"印刷プレビュー用ファイルの読み込みでエラーが発生しました（%d）。"},
    {IDS_ERR_DRIVER_NOTIFY, u"プリンタドライバへの通知でエラーが発生しました（%d）。"},
    {IDS_ERR_ZOOM_RANGE, u"指定した倍率では表示できません。"},
    {IDS_ERR_PAGE_RANGE, u"指定したページは表示できません。"},
    {IDS_ERR_NOT_FROM_DRIVER, u"印刷プレビューはプリンタドライバ以外から実行することはできません。"},
    {AFX_IDS_APP_TITLE, u"印刷プレビュー"},
    {ID_FILE_PRINT, u"\n印刷を開始します。"},
    {ID_APP_ABOUT, u"プログラム情報、バージョン、著作権を表示します。\nバージョン情報"},
    {ID_APP_EXIT, u"\n印刷を中止します。"},
};

} // namespace

QString LoadResString(int id)
{
    for (const Entry &entry : kStrings) {
        if (entry.id == id)
            return QStringView(entry.text).toString();
    }
    return QString();
}

QString ResTooltipLabel(int id)
{
    const QString text = LoadResString(id);
    const qsizetype lineBreak = text.indexOf(u'\n');
    return lineBreak < 0 ? text : text.mid(lineBreak + 1);
}
