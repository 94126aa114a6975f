// Registry set-up with helpers from Vista on; the tests run on x86_64 only,
// so the i686 build merely compiles them.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
// The process manager and the finder from their templates, against real
// processes (helper children) and against stand-in refresh data; and the
// main window's tray command, hot key and status link that open the process
// manager. Screenshots: the process tree with modules below, the handle view,
// both finder modes with results.
#include "sysview/ui/FindDllHandleDlg.h"
#include "sysview/ui/TaskManagerDlg.h"

#include "base/ColumnWidths.h"
#include "base/WindowPlacement.h"
#include "base/Config.h"
#include "base/Messages.h"
#include "base/Strings.h"
#include "controls/BalloonHelp.h"
#include "gui/MessagePump.h"
#include "gui/MessageSequence.h"
#include "gui/ModalWatch.h"
#include "gui/Screenshot.h"
#include "helper/HelperProcess.h"
#include "monitor/HarrowmereDlg.h"
#include "monitor/StatusDlg.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace {

using gui::Pump;

// Pumps until `done` or about 15 s.
bool PumpUntil(const std::function<bool()>& done)
{
    for (int i = 0; i < 300 && !done(); ++i)
        Pump(50);
    return done();
}

std::wstring Fmt(UINT id, int value)
{
    return ui::FormatStr(ui::LoadStr(id).c_str(), value);
}

HTREELISTROW FindRow(CTreeListCtrl& list, int column, const std::wstring& text)
{
    for (size_t i = 0; i < list.RowCount(); ++i) {
        if (list.GetText(list.RowAt(i), column) == text)
            return list.RowAt(i);
    }
    return nullptr;
}

class TaskManager : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_key.path = L"Software\\HarrowmereTest\\Task" + std::to_wstring(GetCurrentProcessId());
        RegDeleteTreeW(HKEY_CURRENT_USER, m_key.path.c_str());
        m_context.stateKey = m_key;
        m_context.refreshMs = 100;
        m_context.confirmEnd = [this](HWND, const std::wstring& text) {
            m_questions.push_back(text);
            return m_answer;
        };
        m_context.showProperties = [this](HWND, const std::wstring& path) { m_properties.push_back(path); };
        m_context.trackMenu = [this](HMENU menu, POINT, HWND) {
            wchar_t text[64] = {};
            GetMenuStringW(menu, ID_TASK_VIEW_SWITCH, text, 64, MF_BYCOMMAND);
            m_menuTexts.push_back(text);
            return m_menuChoice;
        };
    }
    void TearDown() override
    {
        if (m_dlg && m_dlg->IsWindow())
            SendMessageW(m_dlg->Hwnd(), WM_CLOSE, 0, 0);
        m_dlg.reset();
        RegDeleteTreeW(HKEY_CURRENT_USER, m_key.path.c_str());
    }
    void Open()
    {
        m_dlg = std::make_unique<CTaskManagerDlg>(m_context);
        ASSERT_TRUE(m_dlg->Create(nullptr));
        ShowWindow(m_dlg->Hwnd(), SW_SHOW);
    }
    HTREELISTROW Row(uint32_t id) { return m_dlg->RowOf(id); }
    void SelectProcess(uint32_t id)
    {
        m_dlg->ProcessList().Select(Row(id));
        ASSERT_TRUE(PumpUntil([&] { return !m_dlg->DetailsPending(); }));
    }
    void Command(int id) { SendMessageW(m_dlg->Hwnd(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
    void RightClickFirstRow()
    {
        HWND list = m_dlg->ProcessList().List();
        RECT r;
        ListView_GetItemRect(list, 0, &r, LVIR_LABEL);
        PostMessageW(list, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(r.left + 4, (r.top + r.bottom) / 2));
        PostMessageW(list, WM_RBUTTONUP, 0, MAKELPARAM(r.left + 4, (r.top + r.bottom) / 2));
        Pump(100);
    }
    std::wstring Stored(const wchar_t* name)
    {
        std::wstring text;
        ReadWindowStateText(m_key, name, &text);
        return text;
    }

    WindowStateKey m_key;
    TASK_MANAGER_CONTEXT m_context;
    std::unique_ptr<CTaskManagerDlg> m_dlg;
    std::vector<std::wstring> m_questions;
    bool m_answer = false;
    std::vector<std::wstring> m_properties;
    std::vector<std::wstring> m_menuTexts;
    UINT m_menuChoice = 0;
};

} // namespace

TEST_F(TaskManager, LiveTreeWithModulesAndHandlesOfTheSelectedProcess)
{
    // An orphan: its parent has ended before the window sees it.
    helper::CHelperProcess orphanParent;
    ASSERT_TRUE(orphanParent.Start(L"orphan"));
    WaitForSingleObject(orphanParent.Process(), 10000);
    helper::CHelperProcess parent;
    ASSERT_TRUE(parent.Start(L"parent"));
    std::wstring held = L"C:\\hm-task-" + std::to_wstring(GetCurrentProcessId()) + L".dat";
    HANDLE file = CreateFileW(held.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    Open();
    const uint32_t own = GetCurrentProcessId();
    ASSERT_TRUE(PumpUntil([&] { return Row(own) && Row(parent.Id()) && m_dlg->Refreshes() >= 2; }));

    CSystemProcessInfo snapshot(true);
    uint32_t child = 0, orphan = 0;
    for (const auto& p : snapshot.Processes()) {
        if (p.second.parentProcessId == parent.Id())
            child = p.first;
        if (p.second.parentProcessId == orphanParent.Id())
            orphan = p.first;
    }
    ASSERT_TRUE(PumpUntil([&] { return Row(child) && Row(orphan); }));
    CTreeListCtrl& list = m_dlg->ProcessList();
    EXPECT_EQ(Row(own), list.GetParentRow(Row(parent.Id())));
    EXPECT_EQ(Row(parent.Id()), list.GetParentRow(Row(child)));
    EXPECT_EQ(nullptr, list.GetParentRow(Row(orphan))) << "its parent had ended";
    EXPECT_EQ(std::to_wstring(child), list.GetText(Row(child), 1));
    EXPECT_EQ(L"hm_child_helper.exe", list.GetText(Row(child), 0));
    EXPECT_EQ(L" K ", list.GetText(Row(child), 3).substr(list.GetText(Row(child), 3).size() - 3));
    EXPECT_NE(ui::LoadStr(IDS_TASK_COUNT_INITIAL), m_dlg->StatusBar().Text(1));

    SelectProcess(own);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(m_dlg->Hwnd(), IDC_TASK_END_PROCESS)));
    CTreeListCtrl& modules = m_dlg->ModuleList();
    ASSERT_GT(modules.RowCount(), 2u);
    EXPECT_EQ(L"hm_gui_tests.exe", modules.GetText(modules.RowAt(0), 0));
    EXPECT_FALSE(modules.GetText(modules.RowAt(0), 1).empty()) << "the file's date";
    EXPECT_TRUE(FindRow(modules, 0, L"kernel32.dll"));
    Pump(200);
    gui::SaveScreenshot(m_dlg->Hwnd(), L"task-manager-modules.bmp");

    Command(IDC_TASK_VIEW_SWITCH);
    ASSERT_TRUE(PumpUntil([&] { return !m_dlg->DetailsPending(); }));
    EXPECT_EQ(TASK_VIEW_HANDLES, m_dlg->ViewMode());
    EXPECT_EQ(ui::LoadStr(IDS_TASK_VIEW_MODULES), gui::TextOf(m_dlg->Hwnd(), IDC_TASK_VIEW_SWITCH));
    EXPECT_TRUE(IsWindowVisible(m_dlg->HandleList().Hwnd()));
    EXPECT_FALSE(IsWindowVisible(modules.Hwnd()));
    CTreeListCtrl& handles = m_dlg->HandleList();
    HTREELISTROW fileRow = FindRow(handles, 1, held);
    ASSERT_TRUE(fileRow) << "the file held open, by its drive path";
    EXPECT_EQ(L"File", handles.GetText(fileRow, 0));
    wchar_t pidName[32];
    swprintf(pidName, 32, L"PID: 0x%X", parent.Id());
    EXPECT_TRUE(FindRow(handles, 1, pidName)) << "the helper's process handle";
    Pump(200);
    gui::SaveScreenshot(m_dlg->Hwnd(), L"task-manager-handles.bmp");

    // With the handle view on, another selection refills the handle list;
    // switching back shows the modules of the current selection.
    SelectProcess(parent.Id());
    EXPECT_FALSE(FindRow(handles, 1, held));
    Command(IDC_TASK_VIEW_SWITCH);
    ASSERT_TRUE(PumpUntil([&] { return !m_dlg->DetailsPending(); }));
    EXPECT_EQ(L"hm_child_helper.exe", modules.GetText(modules.RowAt(0), 0));

    // The parent ends: its row goes and its child moves up to its place.
    parent.End();
    ASSERT_TRUE(PumpUntil([&] { return !Row(parent.Id()); }));
    EXPECT_EQ(Row(own), list.GetParentRow(Row(child)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(m_dlg->Hwnd(), IDC_TASK_PROPERTIES))) << "the selection went";
    helper::EndProcessById(child);
    helper::EndProcessById(orphan);
    CloseHandle(file);
}

TEST_F(TaskManager, RefreshPlacesRowsAndShowsSharesAndMemory)
{
    auto sample = [](uint32_t id, uint32_t parent, int share, uint64_t ws, bool blue) {
        PROCESS_SAMPLE s;
        s.processId = id;
        s.parentProcessId = parent;
        s.name = L"p" + std::to_wstring(id);
        s.cpuShare = share;
        s.workingSetSize = ws;
        s.description.nonInteractiveParent = blue;
        return s;
    };
    PROCESS_REFRESH first, second;
    first.haveSnapshot = second.haveSnapshot = true;
    // 10's parent comes later; 20's parent is gone.
    first.processes = { sample(0, 0, -1, 0, false), sample(4, 0, -1, 4096, false), sample(10, 30, -1, 8192, false),
                        sample(20, 99, -1, 1234567890, true), sample(30, 4, -1, 8192, false) };
    second.cpuPercent = 37;
    second.processes = { first.processes[0], first.processes[1], sample(10, 30, 42, 8192, false),
                         sample(20, 99, 7, 1234567890, true) };
    auto queue = std::make_shared<std::deque<PROCESS_REFRESH>>(std::deque<PROCESS_REFRESH>{ first, second });
    auto lock = std::make_shared<std::mutex>();
    m_context.sample = [queue, lock] {
        std::lock_guard<std::mutex> hold(*lock);
        PROCESS_REFRESH next = queue->front();
        if (queue->size() > 1)
            queue->pop_front();
        return next;
    };
    // The timer ticks when the test says so.
    m_context.refreshMs = 3600 * 1000;
    auto tick = [this](int refreshes) {
        PostMessageW(m_dlg->Hwnd(), WM_TIMER, TASK_REFRESH_TIMER, 0);
        return PumpUntil([&] { return m_dlg->Refreshes() >= refreshes; });
    };
    Open();
    ASSERT_TRUE(PumpUntil([&] { return m_dlg->Refreshes() >= 1; }));
    CTreeListCtrl& list = m_dlg->ProcessList();
    EXPECT_EQ(Row(30), list.GetParentRow(Row(10)));
    EXPECT_EQ(Row(4), list.GetParentRow(Row(30)));
    EXPECT_EQ(Row(0), list.GetParentRow(Row(4)));
    EXPECT_EQ(nullptr, list.GetParentRow(Row(20)));
    EXPECT_EQ(L"1,205,632 K ", list.GetText(Row(20), 3));
    EXPECT_EQ(L"00", list.GetText(Row(20), 2));
    EXPECT_EQ(TASK_NON_INTERACTIVE_COLOUR, list.GetRowColour(Row(20)));
    EXPECT_EQ(CLR_NONE, list.GetRowColour(Row(10)));

    ASSERT_TRUE(tick(2));
    EXPECT_EQ(nullptr, Row(30));
    EXPECT_EQ(Row(4), list.GetParentRow(Row(10))) << "moved up to its vanished parent's level";
    EXPECT_EQ(L"42", list.GetText(Row(10), 2));
    EXPECT_EQ(L"07", list.GetText(Row(20), 2));
    // A refresh's status texts show at the next tick.
    ASSERT_TRUE(tick(3));
    EXPECT_EQ(Fmt(IDS_TASK_CPU_FORMAT, 37), m_dlg->StatusBar().Text(0));
    EXPECT_EQ(Fmt(IDS_TASK_COUNT_FORMAT, 4), m_dlg->StatusBar().Text(1));
}

TEST_F(TaskManager, EndingAProcessAsksFirstAndNeverEndsTheProgram)
{
    helper::CHelperProcess sleeper;
    ASSERT_TRUE(sleeper.Start(L"sleep"));
    Open();
    ASSERT_TRUE(PumpUntil([&] { return Row(GetCurrentProcessId()) && Row(sleeper.Id()); }));

    SelectProcess(GetCurrentProcessId());
    Command(IDC_TASK_END_PROCESS);
    EXPECT_TRUE(m_questions.empty());

    SelectProcess(sleeper.Id());
    Command(IDC_TASK_END_PROCESS);
    ASSERT_EQ(1u, m_questions.size());
    EXPECT_EQ(ui::FormatStr(ui::LoadStr(IDS_TASK_END_QUESTION).c_str(), L"hm_child_helper.exe"), m_questions[0]);
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(sleeper.Process(), 200)) << "answered no";

    // The process menu names the other view, and its commands act.
    m_dlg->ProcessList().Select(m_dlg->ProcessList().RowAt(0));
    RightClickFirstRow();
    Command(IDC_TASK_VIEW_SWITCH);
    RightClickFirstRow();
    ASSERT_EQ(2u, m_menuTexts.size());
    EXPECT_EQ(ui::LoadStr(IDS_TASK_VIEW_HANDLES), m_menuTexts[0]);
    EXPECT_EQ(ui::LoadStr(IDS_TASK_VIEW_MODULES), m_menuTexts[1]);

    SelectProcess(sleeper.Id());
    m_answer = true;
    m_menuChoice = ID_TASK_END_PROCESS;
    HWND list = m_dlg->ProcessList().List();
    RECT r;
    ListView_GetItemRect(list, m_dlg->ProcessList().DisplayIndex(Row(sleeper.Id())), &r, LVIR_LABEL);
    PostMessageW(list, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(r.left + 4, (r.top + r.bottom) / 2));
    PostMessageW(list, WM_RBUTTONUP, 0, MAKELPARAM(r.left + 4, (r.top + r.bottom) / 2));
    Pump(100);
    EXPECT_EQ(2u, m_questions.size());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(sleeper.Process(), 5000)) << "answered yes";
    ASSERT_TRUE(PumpUntil([&] { return !Row(sleeper.Id()); }));

    Command(IDC_TASK_PROPERTIES); // nothing selected any more
    SelectProcess(GetCurrentProcessId());
    Command(IDC_TASK_PROPERTIES);
    ASSERT_EQ(1u, m_properties.size());
    EXPECT_NE(std::wstring::npos, m_properties[0].find(L"hm_gui_tests.exe"));
}

TEST_F(TaskManager, ColumnWidthsAreTakenOnlyWhenWellFormedAndSavedOnClose)
{
    WriteWindowStateText(m_key, L"ProcessWndList", L"11,12,13,14,15,16,99"); // extra numbers: fine
    WriteWindowStateText(m_key, L"ModuleWndList", L"1,2,3,4");               // too few
    WriteWindowStateText(m_key, L"HandleWndList", L"5,6,7");                 // exactly two wanted
    m_context.sample = [] { return PROCESS_REFRESH(); };
    Open();
    const struct {
        CTreeListCtrl* list;
        std::vector<int> widths;
    } cases[] = { { &m_dlg->ProcessList(), { 11, 12, 13, 14, 15, 16 } },
                  { &m_dlg->ModuleList(), { 100, 100, 200, 200, 200 } },
                  { &m_dlg->HandleList(), { 200, 400 } } };
    for (const auto& c : cases) {
        std::vector<int> widths;
        for (int i = 0; i < c.list->ColumnCount(); ++i)
            widths.push_back(c.list->GetColumnWidth(i));
        EXPECT_EQ(c.widths, widths);
    }
    m_dlg->HandleList().SetColumnWidth(1, 321);
    SendMessageW(m_dlg->Hwnd(), WM_CLOSE, 0, 0);
    EXPECT_EQ(L"11,12,13,14,15,16", Stored(L"ProcessWndList"));
    EXPECT_EQ(L"100,100,200,200,200", Stored(L"ModuleWndList"));
    EXPECT_EQ(L"200,321", Stored(L"HandleWndList"));
    STORED_PLACEMENT placement;
    EXPECT_EQ(0, LoadPlacement(m_key, L"TaskWnd", &placement));
}

TEST_F(TaskManager, FinderListsModuleAndFileHoldersAndStaysOpenOnEnter)
{
    std::wstring name = L"hm-find-" + std::to_wstring(GetCurrentProcessId()) + L".dat";
    helper::CHelperProcess holder;
    ASSERT_TRUE(holder.Start(L"hold", L"C:\\" + name));
    const struct {
        int mode;
        UINT title;
        std::wstring text;
        std::wstring id; // a process id among the rows
        std::wstring path;
        const wchar_t* screenshot;
    } cases[] = {
        { FINDER_MODULES, IDS_TASK_FIND_MODULE, L"KERNEL32.dll", std::to_wstring(GetCurrentProcessId()), L"",
          L"finder-modules.bmp" },
        { FINDER_HANDLES, IDS_TASK_FIND_HANDLE, name, std::to_wstring(holder.Id()), L"C:\\" + name,
          L"finder-handles-by-name.bmp" },
        { FINDER_HANDLES, IDS_TASK_FIND_HANDLE, L"c:/" + name, std::to_wstring(holder.Id()), L"c:\\" + name,
          L"finder-handles-by-path.bmp" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        CFindDllHandleDlg finder(c.mode);
        ASSERT_TRUE(finder.Create(nullptr));
        ShowWindow(finder.Hwnd(), SW_SHOW);
        EXPECT_EQ(ui::LoadStr(c.title), gui::TextOf(finder.Hwnd()));
        HWND edit = GetDlgItem(finder.Hwnd(), IDC_FIND_NAME);
        SetWindowTextW(edit, c.text.c_str());
        SetFocus(edit);
        // Enter: the press is the dialog's OK (nothing), the release searches.
        PostMessageW(edit, WM_KEYDOWN, VK_RETURN, 0);
        PostMessageW(edit, WM_KEYUP, VK_RETURN, 0xC0000001);
        Pump(50);
        ASSERT_TRUE(PumpUntil([&] { return !finder.Searching(); }));
        EXPECT_TRUE(finder.IsWindow());
        const CReportList& rows = finder.List();
        bool found = false;
        for (int i = 0; i < rows.RowCount(); ++i) {
            if (rows.Cell(i, 1) == c.id) {
                found = true;
                EXPECT_EQ(L"hm_" + std::wstring(c.mode == FINDER_MODULES ? L"gui_tests" : L"child_helper") + L".exe",
                          rows.Cell(i, 0));
                if (!c.path.empty()) {
                    EXPECT_EQ(c.path, rows.Cell(i, 2));
                }
            }
        }
        EXPECT_TRUE(found);
        Pump(100);
        gui::SaveScreenshot(finder.Hwnd(), c.screenshot);

        SetWindowTextW(edit, L"");
        SendMessageW(finder.Hwnd(), WM_COMMAND, MAKEWPARAM(IDC_FIND_SEARCH, BN_CLICKED), 0);
        EXPECT_EQ(0, rows.RowCount()) << "an empty field clears and finds nothing";
        SendMessageW(finder.Hwnd(), WM_CLOSE, 0, 0);
    }
}

TEST(TaskManagerWiring, TrayHotKeyAndStatusLinkOpenOneProcessManagerThatRefreshes)
{
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Harrowmere");
    DWORD off = 0;
    RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Harrowmere", L"Hook", REG_DWORD, &off, sizeof(off));
    CConfig::DeleteInstance();
    CConfig::Instance()->Load();
    auto main = std::make_unique<CHarrowmereDlg>(nullptr);
    ASSERT_TRUE(main->Create(nullptr));
    Pump(100);
    gui::CMessageRecorder recorder({ WM_TASK_REFRESHED, WM_TIMER });
    SendMessageW(main->Hwnd(), WM_COMMAND, ID_TRAY_PROCESS_MANAGER, 0);
    ui::CDialog* manager = main->StatusPage()->ProcessManager();
    ASSERT_TRUE(manager);
    EXPECT_EQ(IDD_TASK_MANAGER, manager->TemplateId());
    EXPECT_TRUE(IsWindowVisible(manager->Hwnd()));
    ASSERT_TRUE(PumpUntil([&] { return static_cast<CTaskManagerDlg*>(manager)->Refreshes() >= 2; }));
    // The first refresh comes from the worker as a posted message; the timer
    // asks for the next one only after it was applied.
    std::vector<gui::RecordedMessage> seen = gui::ForWindow(recorder.Sequence(), manager->Hwnd());
    seen.resize(std::min<size_t>(seen.size(), 3));
    EXPECT_TRUE(gui::SequenceMatches(seen,
                                     { { WM_TASK_REFRESHED, gui::SEQ_POSTED | gui::SEQ_WINDOW, 0, manager->Hwnd() },
                                       { WM_TIMER, gui::SEQ_POSTED | gui::SEQ_WPARAM, TASK_REFRESH_TIMER },
                                       { WM_TASK_REFRESHED, gui::SEQ_POSTED | gui::SEQ_WINDOW, 0, manager->Hwnd() } }));

    ShowWindow(manager->Hwnd(), SW_MINIMIZE);
    SendMessageW(main->Hwnd(), WM_HOTKEY, HM_HOTKEY_ID, 0);
    EXPECT_EQ(manager, main->StatusPage()->ProcessManager()) << "the same window again";
    EXPECT_FALSE(IsIconic(manager->Hwnd()));
    SendMessageW(main->StatusPage()->Hwnd(), WM_COMMAND, MAKEWPARAM(IDC_STATUS_PROCESS_MANAGER, STN_CLICKED), 0);
    EXPECT_EQ(manager, main->StatusPage()->ProcessManager());
    SendMessageW(manager->Hwnd(), WM_CLOSE, 0, 0);
    EXPECT_EQ(nullptr, main->StatusPage()->ProcessManager());
    SendMessageW(main->Hwnd(), WM_COMMAND, ID_TRAY_PROCESS_MANAGER, 0);
    EXPECT_NE(nullptr, main->StatusPage()->ProcessManager()) << "a new one after the user closed it";

    CBalloonHelp::Close();
    SendMessageW(main->Hwnd(), WM_CLOSE, 0, 0);
    main.reset();
    Pump(50);
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Harrowmere");
}
