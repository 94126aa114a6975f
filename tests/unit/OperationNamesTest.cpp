// The names the sensor hands the driver, read from the arguments a program
// passed: odd and unreadable arguments give a clear outcome, never a fault.
#include "sensor/OperationNames.h"
#include "sensor/SensorFiles.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using sensor::NameResult;

const size_t kChars = 2048;

struct Field {
    uint16_t text[kChars];
    std::wstring Value() const { return std::wstring(text, text + std::char_traits<wchar_t>::length(
                                                                     reinterpret_cast<const wchar_t*>(text))); }
};

UNICODE_STRING Counted(const wchar_t* text, size_t bytes, size_t maximum)
{
    UNICODE_STRING s;
    s.Buffer = const_cast<PWSTR>(text);
    s.Length = static_cast<USHORT>(bytes);
    s.MaximumLength = static_cast<USHORT>(maximum);
    return s;
}

// A page that is reserved but not committed: reading it would fault.
const wchar_t* UnreadablePage()
{
    static void* page = VirtualAlloc(nullptr, 4096, MEM_RESERVE, PAGE_NOACCESS);
    return static_cast<const wchar_t*>(page);
}

TEST(OperationNames, FileNamesComeFromTheObjectNameAndOddOnesAreLeftToTheSystem)
{
    const std::wstring plain = L"\\??\\C:\\dir\\file.txt";
    const std::wstring longer = L"C:\\abcXYZ";
    const std::wstring huge = L"\\??\\C:\\" + std::wstring(3000, L'a');
    UNICODE_STRING plainName = Counted(plain.c_str(), plain.size() * 2, plain.size() * 2 + 2);
    UNICODE_STRING cutName = Counted(longer.c_str(), 12, longer.size() * 2); // "C:\abc", no NUL after it
    UNICODE_STRING oddLength = Counted(plain.c_str(), 7, plain.size() * 2);
    UNICODE_STRING beyond = Counted(plain.c_str(), plain.size() * 2, 4);
    UNICODE_STRING empty = Counted(L"", 0, 0);
    UNICODE_STRING unreadable = Counted(UnreadablePage(), 20, 20);
    UNICODE_STRING hugeName = Counted(huge.c_str(), huge.size() * 2, huge.size() * 2);
    struct Case {
        const char* what;
        UNICODE_STRING* name;
        NameResult result;
        std::wstring value;
    } cases[] = {
        { "NT path", &plainName, NameResult::Named, L"C:\\dir\\file.txt" },
        { "no NUL", &cutName, NameResult::Named, L"C:\\abc" },
        { "odd length", &oddLength, NameResult::NoName, L"" },
        { "beyond its maximum", &beyond, NameResult::NoName, L"" },
        { "empty", &empty, NameResult::NoName, L"" },
        { "null name", nullptr, NameResult::NoName, L"" },
        { "unreadable text", &unreadable, NameResult::Unreadable, L"" },
        { "huge", &hugeName, NameResult::Named, L"C:\\" + std::wstring(kChars - 4, L'a') },
    };
    for (const Case& c : cases) {
        OBJECT_ATTRIBUTES attributes;
        InitializeObjectAttributes(&attributes, c.name, OBJ_CASE_INSENSITIVE, nullptr, nullptr);
        Field field;
        EXPECT_EQ(c.result, sensor::FileNameForDriver(&attributes, field.text, kChars)) << c.what;
        EXPECT_EQ(c.value, field.Value()) << c.what;
    }
    Field field;
    EXPECT_EQ(NameResult::NoName, sensor::FileNameForDriver(nullptr, field.text, kChars));
    EXPECT_EQ(NameResult::Unreadable,
              sensor::FileNameForDriver(reinterpret_cast<const OBJECT_ATTRIBUTES*>(UnreadablePage()), field.text,
                                        kChars));
}

TEST(OperationNames, RelativeFileNameIsJoinedToItsRootDirectory)
{
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    HANDLE root = CreateFileW(windows, FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, root);
    UNICODE_STRING name = Counted(L"system32\\x.dll", 28, 28);
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE, root, nullptr);
    Field field;
    EXPECT_EQ(NameResult::Named, sensor::FileNameForDriver(&attributes, field.text, kChars));
    EXPECT_EQ(0, _wcsicmp((std::wstring(windows) + L"\\system32\\x.dll").c_str(), field.Value().c_str()))
        << field.Value().c_str();
    CloseHandle(root);
}

TEST(OperationNames, KeyNameIsTheFullNameOfTheKeyAndANonKeyIsLeftToTheSystem)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, &key));
    Field field;
    EXPECT_EQ(NameResult::Named, sensor::KeyNameForDriver(key, field.text, kChars));
    std::wstring name = field.Value();
    EXPECT_EQ(0, _wcsnicmp(L"\\REGISTRY\\USER\\", name.c_str(), 15)) << name.c_str(); // Wine writes "User"
    EXPECT_EQ(0, _wcsicmp(L"\\Software", name.substr(name.size() - 9).c_str())) << name.c_str();
    RegCloseKey(key);

    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    EXPECT_EQ(NameResult::NoName, sensor::KeyNameForDriver(event, field.text, kChars));
    CloseHandle(event);
}

TEST(OperationNames, ImageNameComesFromTheAttributeListOrTheProcessParameters)
{
    const wchar_t image[] = L"\\??\\C:\\bin\\tool.exe";
    sensor::PS_ATTRIBUTE_LIST_HEAD list = {};
    list.totalLength = sizeof(list);
    list.attributes[0].attribute = sensor::kPsAttributeImageName;
    list.attributes[0].size = sizeof(image) - sizeof(wchar_t);
    list.attributes[0].value = reinterpret_cast<ULONG_PTR>(image);

    // Parameters as the system passes them (normalized: real pointers), and
    // with the image path as an offset from their start.
    struct Parameters {
        sensor::PROCESS_PARAMETERS_HEAD head;
        wchar_t path[32];
    } normalized = {}, offsets = {};
    const wchar_t dosPath[] = L"C:\\bin\\other.exe";
    for (Parameters* p : { &normalized, &offsets }) {
        wcscpy(p->path, dosPath);
        p->head.imagePathName.Length = sizeof(dosPath) - sizeof(wchar_t);
        p->head.imagePathName.MaximumLength = sizeof(dosPath);
    }
    normalized.head.flags = sensor::kProcessParametersNormalized;
    normalized.head.imagePathName.Buffer = normalized.path;
    offsets.head.imagePathName.Buffer = reinterpret_cast<PWSTR>(offsetof(Parameters, path));

    struct Case {
        const char* what;
        const void* list;
        const void* parameters;
        NameResult result;
        const wchar_t* value;
    } cases[] = {
        { "attribute list first", &list, &normalized, NameResult::Named, L"C:\\bin\\tool.exe" },
        { "normalized parameters", nullptr, &normalized, NameResult::Named, L"C:\\bin\\other.exe" },
        { "parameters with offsets", nullptr, &offsets, NameResult::Named, L"C:\\bin\\other.exe" },
        { "nothing", nullptr, nullptr, NameResult::NoName, L"" },
        { "unreadable parameters", nullptr, UnreadablePage(), NameResult::Unreadable, L"" },
    };
    for (const Case& c : cases) {
        Field field;
        EXPECT_EQ(c.result, sensor::ImageNameForDriver(c.list, c.parameters, field.text, kChars)) << c.what;
        EXPECT_EQ(std::wstring(c.value), field.Value()) << c.what;
    }
}

TEST(OperationNames, ExcludedImagesAreKnownByTheirBaseNameInAnyCase)
{
    struct Case {
        const wchar_t* path;
        bool excluded;
    } cases[] = {
        { L"C:\\windows\\system32\\winedevice.exe", true },
        { L"C:\\Program Files\\Harrowmere\\HARROWMERE.EXE", true },
        { L"explorer.exe", true },
        { L"C:\\windows\\system32\\cmd.exe", false },
        { L"C:\\x\\harrowmere.exe.bak", false },
        { L"C:\\winedevice.exe\\tool.exe", false },
        // The setup program and the uninstaller (and its working copy) must be
        // able to stop the guard and remove the sensor.
        { L"C:\\Users\\u\\Downloads\\Harrowmere-Setup.exe", true },
        { L"C:\\Program Files\\Harrowmere\\Uninstall.exe", true },
        { L"C:\\users\\u\\Temp\\~nsuA.tmp\\Au_.exe", true },
        { L"C:\\x\\Uninstaller.exe", false },
    };
    for (const Case& c : cases) {
        size_t chars = wcslen(c.path);
        EXPECT_EQ(c.excluded, sensor::IsExcludedImage(sensor::BaseName(c.path, chars))) << c.path;
    }
}

} // namespace
