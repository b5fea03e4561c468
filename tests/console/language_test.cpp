// The language file, the captions and the records table's columns of each language.
#include <sys/inotify.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <wx/odcombo.h>

#include "core/codepage.h"
#include "resources/resource_ids.h"
#include "tests/support/console_fixture.h"
#include "tests/support/meter_frames.h"
#include "tests/support/test_support.h"

using namespace testing_support;

namespace {

class Language : public ::testing::Test {
protected:
    void SetUp() override { QEL_REQUIRE_DISPLAY(); }
    static ConsoleOptions File(const std::string& contents)
    {
        ConsoleOptions o;
        o.languageFile = contents;
        return o;
    }
    static std::vector<std::string> Headings(CQELDlg& dlg)
    {
        std::vector<std::string> h;
        for (int i = 0; i < dlg.m_listRecords->GetColumnCount(); ++i)
            h.push_back(dlg.m_listRecords->GetColumnHeading(i));
        return h;
    }
};

TEST_F(Language, ItemSelectsTheLanguageByItsFirstCharacter)
{
    struct Case {
        std::string item;
        int language;
    } cases[] = {{"0", 0}, {"1", 1},  {"2", 2},        {"12", 1}, {" 1", 1}, {"\" 1\"", ' ' - '0'},
                 {"3", 3}, {"", -48}, {"x", 'x' - '0'}};
    for (const auto& c : cases) {
        ConsoleHarness h(File(ShippedLanguageFile(c.item)));
        EXPECT_EQ(h.Dlg().m_language, c.language) << "Item=" << c.item;
    }
}

TEST_F(Language, ChineseTakesCaptionsAndSixteenColumnsFromTheFile)
{
    ConsoleHarness h(File(ShippedLanguageFile("1")));
    CQELDlg& d = h.Dlg();
    EXPECT_EQ(d.GetDlgItemText(IDC_CONNECT), "连接");
    EXPECT_EQ(d.GetDlgItemText(IDC_LABEL_MINUTE), "分");
    EXPECT_EQ(d.GetDlgItemText(IDC_LABEL_HOUR), "时");
    EXPECT_EQ(d.GetDlgItemText(IDC_OPEN_COM), "打开串口");
    EXPECT_EQ(d.GetDlgItemText(IDC_EXIT), "退出");
    EXPECT_EQ(d.m_comboLanguage->GetStringSelection().utf8_string(), "中文");
    auto headings = Headings(d);
    ASSERT_EQ(headings.size(), 16u);
    EXPECT_EQ(headings[0], "序号");
    EXPECT_EQ(headings[3], "参考值");    // "ref" at 3
    EXPECT_EQ(headings[4], "日期时间");  // "timedata" pushed to 4
    for (int i = 5; i < 16; ++i) EXPECT_EQ(headings[static_cast<size_t>(i)], "备注");
    EXPECT_EQ(d.m_listRecords->GetColumnFormat(0), platform::LVCFMT_IMAGE);
    EXPECT_EQ(d.m_listRecords->GetColumnWidth(4), 150);
    EXPECT_EQ(d.m_listRecords->GetExtendedStyle(), platform::LVS_EX_GRIDLINES | platform::LVS_EX_FULLROWSELECT);
}

TEST_F(Language, EnglishAndItalianColumnsAndCaptions)
{
    ConsoleHarness en(File(ShippedLanguageFile("0")));
    EXPECT_EQ(Headings(en.Dlg()),
              (std::vector<std::string>{"NUMBER", "WAVE LENGTH", "POWER", "REF", "DATA/TIME", "NOTE", "WAVE LENGTH",
                                        "POWER", "DATA/TIME", "REF", "NOTE", "NOTE"}));
    EXPECT_EQ(en.Dlg().GetDlgItemText(IDC_GROUP_USER), "FILL OUT USER'S INFORMATION");
    EXPECT_EQ(en.Dlg().GetDlgItemText(IDC_OPEN_COM), "OPEN COM");
    EXPECT_EQ(en.Dlg().m_comboLanguage->GetSelection(), 1);

    ConsoleHarness it(File(ShippedLanguageFile("2")));
    EXPECT_EQ(Headings(it.Dlg()),
              (std::vector<std::string>{"NUMERO", "LUNGHEZZA D'ONDA", "POTENZA", "GIORNO/ORA", "NOTE"}));
    EXPECT_EQ(it.Dlg().m_listRecords->GetColumnWidth(3), 180);
    EXPECT_EQ(it.Dlg().GetDlgItemText(IDC_EXPORT), "CANCELLA SELEZIONE");
    EXPECT_EQ(it.Dlg().m_comboLanguage->GetSelection(), 2);
}

TEST_F(Language, WithoutTheFileTheTemplateCaptionsStayAndNothingIsSaid)
{
    ConsoleOptions o;
    o.languageFile = kNoFile;
    ConsoleHarness h(o);
    EXPECT_EQ(h.Dlg().GetDlgItemText(IDC_CONNECT), "連接  ");
    EXPECT_EQ(h.Dlg().GetDlgItemText(IDC_OPEN_COM), "打開串口");
    EXPECT_EQ(h.Dlg().m_listRecords->GetColumnCount(), 0);
    EXPECT_EQ(h.Dlg().m_comboLanguage->GetSelection(), wxNOT_FOUND);
    EXPECT_EQ(h.Dlg().LanguageTexts.conok, "Error");
    h.Feed({0x10, 0x05, 0x02, 0x01, 0x41, 0xA7, 0x01});
    EXPECT_EQ(h.Dlg().m_strMeterId, "A");
    EXPECT_EQ(h.Boxes().Count(), 0u);
}

TEST_F(Language, MissingKeysReadErrorAndLongTextsAreCutOnACharacter)
{
    // UTF-8 file: "connect" missing, "cut" 21 bytes of three-byte characters.
    std::string file = "[Section1]\nItem=1\ncut=断开断开断开断\n";
    ConsoleHarness h(File(file));
    EXPECT_EQ(h.Dlg().GetDlgItemText(IDC_CONNECT), "Error");
    EXPECT_EQ(h.Dlg().LanguageTexts.cut, "断开断开断开");  // 18 bytes: the 19th would split a character
    // GBK file: two-byte characters, 20 bytes cut to 18.
    std::string gbk = core::ToGbk("[Section1]\nItem=1\ncut=一二三四五六七八九十\n");
    ConsoleHarness g(File(gbk));
    EXPECT_EQ(g.Dlg().LanguageTexts.cut, "一二三四五六七八九");
}

// The kernel reports every open of the language file while another main window starts in the
// same folder. Closes are watched too: successive equal events are merged into one, an open and
// a close are not, so each open is counted.
TEST_F(Language, StartUpOpensTheLanguageFileOnce)
{
    ConsoleHarness h(File(ShippedLanguageFile("1")));
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, h.Folder().File("language.ini").c_str(), IN_OPEN | IN_CLOSE_NOWRITE), 0);

    CQELDlg dlg(nullptr);  // in the current folder, the harness's
    ASSERT_TRUE(dlg.CreateDialogWindow());
    int opens = 0;
    int closes = 0;
    alignas(inotify_event) char events[64 * (sizeof(inotify_event) + 16)];
    for (ssize_t n; (n = read(watch, events, sizeof events)) > 0;) {
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(events + at);
            opens += (event->mask & IN_OPEN) ? 1 : 0;
            closes += (event->mask & IN_CLOSE_NOWRITE) ? 1 : 0;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    close(watch);
    EXPECT_EQ(opens, 1);
    EXPECT_EQ(closes, opens);
    // What was read is the file's: the language and its texts.
    EXPECT_EQ(dlg.m_language, 1);
    EXPECT_EQ(dlg.GetDlgItemText(IDC_CONNECT), "连接");
    EXPECT_EQ(dlg.LanguageTexts.norecord, "没有记录!");
}

TEST_F(Language, ChangingTheLanguageEmptiesTheTableAndFollowsThePortState)
{
    ConsoleHarness h(File(ShippedLanguageFile("0")));
    CQELDlg& d = h.Dlg();
    h.Feed(RecordReply(RecordSpec{}));
    ASSERT_EQ(d.m_listRecords->GetItemCount(), 1);

    // Closing the list without a change still empties the table.
    d.m_comboLanguage->SetSelection(1);
    d.OnCbnCloseupLanguage();
    EXPECT_EQ(d.m_listRecords->GetItemCount(), 0);
    EXPECT_EQ(d.m_lastRecordNo, 0);
    EXPECT_EQ(d.m_language, 0);

    d.m_portOpened = true;
    d.m_comboLanguage->SetSelection(0);
    d.OnCbnCloseupLanguage();
    EXPECT_EQ(d.m_language, 1);
    EXPECT_EQ(d.GetDlgItemText(IDC_OPEN_COM), "关闭串口");
    d.OnBnClickedEnglish();
    EXPECT_EQ(d.GetDlgItemText(IDC_OPEN_COM), "CLOSE COM");
    EXPECT_EQ(d.m_listRecords->GetColumnCount(), 12);
    d.m_portOpened = false;
    d.OnBnClickedChinese();
    EXPECT_EQ(d.GetDlgItemText(IDC_OPEN_COM), "打开串口");

    // The radio buttons put the edit boxes' last read values back.
    d.m_strCompany = "ACME";
    d.SetDlgItemText(IDC_EDIT_COMPANY, "typed");
    d.OnBnClickedEnglish();
    EXPECT_EQ(d.GetDlgItemText(IDC_EDIT_COMPANY), "ACME");
}

// The list holds the three languages in its order whatever the file chose, and choosing an entry
// applies that language, also when the file named none; closing the list with no entry chosen
// changes nothing.
TEST_F(Language, TheListOffersTheThreeLanguagesAndChoosingOneAppliesIt)
{
    ConsoleHarness h(File(ShippedLanguageFile("x")));
    CQELDlg& d = h.Dlg();
    ASSERT_EQ(d.m_comboLanguage->GetCount(), 3u);
    EXPECT_EQ(d.m_comboLanguage->GetString(0).utf8_string(), "中文");
    EXPECT_EQ(d.m_comboLanguage->GetString(1).utf8_string(), "ENGLISH");
    EXPECT_EQ(d.m_comboLanguage->GetString(2).utf8_string(), "ITALIANO");

    d.m_comboLanguage->SetSelection(wxNOT_FOUND);
    d.OnCbnCloseupLanguage();
    EXPECT_EQ(d.m_language, 'x' - '0');
    EXPECT_EQ(d.GetDlgItemText(IDC_CONNECT), "連接  ");
    EXPECT_EQ(d.m_listRecords->GetColumnCount(), 0);

    struct Case {
        int entry;
        int language;
        const char* connect;
        const char* openCom;
        int columns;
    } cases[] = {{2, 2, "CONNESSIONE", "APRI COMUNICAZIONE", 5},
                 {0, 1, "连接", "打开串口", 16},
                 {1, 0, "CONNECT", "OPEN COM", 12}};
    for (const Case& c : cases) {
        d.m_comboLanguage->SetSelection(c.entry);
        d.OnCbnCloseupLanguage();
        EXPECT_EQ(d.m_language, c.language) << c.entry;
        EXPECT_EQ(d.m_comboLanguage->GetSelection(), c.entry);
        EXPECT_EQ(d.GetDlgItemText(IDC_CONNECT), c.connect);
        EXPECT_EQ(d.GetDlgItemText(IDC_OPEN_COM), c.openCom);
        EXPECT_EQ(d.m_listRecords->GetColumnCount(), c.columns) << c.entry;
    }
}

}  // namespace
