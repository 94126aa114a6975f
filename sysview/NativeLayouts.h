// Byte layouts of the records that the native system queries fill in. Each
// build reads its own architecture's layout: pointer-sized fields are 32 bits
// wide in the i686 build and 64 bits wide in the x86_64 build, which moves
// every field after the first pointer. The static asserts pin the offsets
// that the inspection tools read, for both builds.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN64)
using NATIVE_PTR = uint64_t;
#else
using NATIVE_PTR = uint32_t;
#endif

// Information classes of NtQuerySystemInformation.
enum : uint32_t {
    NT_SYSTEM_BASIC_INFORMATION = 0,
    NT_SYSTEM_PERFORMANCE_INFORMATION = 2,
    NT_SYSTEM_TIME_OF_DAY_INFORMATION = 3,
    NT_SYSTEM_PROCESS_INFORMATION = 5,
    NT_SYSTEM_HANDLE_INFORMATION = 16,
    NT_SYSTEM_EXTENDED_HANDLE_INFORMATION = 64,
};

// Classes of NtQueryObject, NtQueryInformationFile, NtQueryInformationProcess
// and NtQueryInformationThread.
enum : uint32_t {
    NT_OBJECT_NAME_INFORMATION = 1,
    NT_OBJECT_TYPE_INFORMATION = 2,
    NT_FILE_NAME_INFORMATION = 9,
    NT_PROCESS_BASIC_INFORMATION = 0,
    NT_THREAD_BASIC_INFORMATION = 0,
};

// Counted UTF-16 string: length and capacity in bytes, then the text address.
struct NATIVE_UNICODE_STRING {
    uint16_t Length;
    uint16_t MaximumLength;
    NATIVE_PTR Buffer;
};

// One record of the process list (class 5), up to the working-set size. The
// records form a chain; the thread entries after each record are not read.
struct NATIVE_PROCESS_RECORD {
    uint32_t NextEntryOffset;
    uint32_t NumberOfThreads;
    int64_t WorkingSetPrivateSize;
    uint32_t HardFaultCount;
    uint32_t NumberOfThreadsHighWatermark;
    uint64_t CycleTime;
    int64_t CreateTime;
    int64_t UserTime;
    int64_t KernelTime;
    NATIVE_UNICODE_STRING ImageName;
    int32_t BasePriority;
    NATIVE_PTR UniqueProcessId;
    NATIVE_PTR InheritedFromUniqueProcessId;
    uint32_t HandleCount;
    uint32_t SessionId;
    NATIVE_PTR UniqueProcessKey;
    NATIVE_PTR PeakVirtualSize;
    NATIVE_PTR VirtualSize;
    uint32_t PageFaultCount;
    NATIVE_PTR PeakWorkingSetSize;
    NATIVE_PTR WorkingSetSize;
};

// The handle table. The i686 build reads the plain class 16 (16-byte entries
// with 16-bit handle values); the x86_64 build reads the extended class 64,
// whose entries carry full-width process ids, handle values and addresses.
#if defined(_WIN64)
struct NATIVE_HANDLE_TABLE_HEADER {
    NATIVE_PTR NumberOfHandles;
    NATIVE_PTR Reserved;
};
struct NATIVE_HANDLE_ENTRY {
    NATIVE_PTR Object;
    NATIVE_PTR UniqueProcessId;
    NATIVE_PTR HandleValue;
    uint32_t GrantedAccess;
    uint16_t CreatorBackTraceIndex;
    uint16_t ObjectTypeIndex;
    uint32_t HandleAttributes;
    uint32_t Reserved;
};
#define NT_HANDLE_TABLE_CLASS NT_SYSTEM_EXTENDED_HANDLE_INFORMATION
#else
struct NATIVE_HANDLE_TABLE_HEADER {
    uint32_t NumberOfHandles;
};
struct NATIVE_HANDLE_ENTRY {
    uint16_t UniqueProcessId;
    uint16_t CreatorBackTraceIndex;
    uint8_t ObjectTypeIndex;
    uint8_t HandleAttributes;
    uint16_t HandleValue;
    NATIVE_PTR Object;
    uint32_t GrantedAccess;
};
#define NT_HANDLE_TABLE_CLASS NT_SYSTEM_HANDLE_INFORMATION
#endif

// Object type information (NtQueryObject class 2): the fixed part; the
// system places the type name's text directly after it.
struct NATIVE_OBJECT_TYPE_INFO {
    NATIVE_UNICODE_STRING TypeName;
    uint32_t Counters[12];
    uint32_t InvalidAttributes;
    uint32_t GenericMapping[4];
    uint32_t ValidAccessMask;
    uint8_t SecurityRequired;
    uint8_t MaintainHandleCount;
    uint8_t TypeIndex;
    uint8_t ReservedByte;
    uint32_t PoolType;
    uint32_t DefaultPagedPoolCharge;
    uint32_t DefaultNonPagedPoolCharge;
};

// Object name information (NtQueryObject class 1).
struct NATIVE_OBJECT_NAME_INFO {
    NATIVE_UNICODE_STRING Name;
};

// File name information (NtQueryInformationFile class 9): the name's length
// in bytes, then the name.
struct NATIVE_FILE_NAME_INFO {
    uint32_t FileNameLength;
    uint16_t FileName[1];
};

struct NATIVE_PROCESS_BASIC_INFO {
    int32_t ExitStatus;
    NATIVE_PTR PebBaseAddress;
    NATIVE_PTR AffinityMask;
    int32_t BasePriority;
    NATIVE_PTR UniqueProcessId;
    NATIVE_PTR InheritedFromUniqueProcessId;
};

struct NATIVE_THREAD_BASIC_INFO {
    int32_t ExitStatus;
    NATIVE_PTR TebBaseAddress;
    NATIVE_PTR ClientIdProcess;
    NATIVE_PTR ClientIdThread;
    NATIVE_PTR AffinityMask;
    int32_t Priority;
    int32_t BasePriority;
};

// System basic information (class 0), up to the processor count.
struct NATIVE_SYSTEM_BASIC_INFO {
    uint32_t Reserved;
    uint32_t TimerResolution;
    uint32_t PageSize;
    uint32_t NumberOfPhysicalPages;
    uint32_t LowestPhysicalPageNumber;
    uint32_t HighestPhysicalPageNumber;
    uint32_t AllocationGranularity;
    NATIVE_PTR MinimumUserModeAddress;
    NATIVE_PTR MaximumUserModeAddress;
    NATIVE_PTR ActiveProcessorsAffinityMask;
    int8_t NumberOfProcessors;
};

// Time of day (class 3): the same on both architectures.
struct NATIVE_TIME_OF_DAY_INFO {
    int64_t BootTime;
    int64_t CurrentTime;
    int64_t TimeZoneBias;
    uint32_t TimeZoneId;
    uint32_t Reserved;
};

#if defined(_WIN64)
static_assert(sizeof(NATIVE_UNICODE_STRING) == 16, "counted string");
static_assert(offsetof(NATIVE_PROCESS_RECORD, UserTime) == 40, "process record");
static_assert(offsetof(NATIVE_PROCESS_RECORD, KernelTime) == 48, "process record");
static_assert(offsetof(NATIVE_PROCESS_RECORD, ImageName) == 56, "process record");
static_assert(offsetof(NATIVE_PROCESS_RECORD, UniqueProcessId) == 80, "process record");
static_assert(offsetof(NATIVE_PROCESS_RECORD, InheritedFromUniqueProcessId) == 88, "process record");
static_assert(offsetof(NATIVE_PROCESS_RECORD, WorkingSetSize) == 144, "process record");
static_assert(sizeof(NATIVE_PROCESS_RECORD) == 152, "process record");
static_assert(sizeof(NATIVE_HANDLE_TABLE_HEADER) == 16, "handle table header");
static_assert(sizeof(NATIVE_HANDLE_ENTRY) == 40, "extended handle entry");
static_assert(offsetof(NATIVE_HANDLE_ENTRY, HandleValue) == 16, "extended handle entry");
static_assert(offsetof(NATIVE_HANDLE_ENTRY, ObjectTypeIndex) == 30, "extended handle entry");
static_assert(sizeof(NATIVE_OBJECT_TYPE_INFO) == 104, "object type information");
static_assert(sizeof(NATIVE_PROCESS_BASIC_INFO) == 48, "process basic information");
static_assert(offsetof(NATIVE_PROCESS_BASIC_INFO, UniqueProcessId) == 32, "process basic information");
static_assert(sizeof(NATIVE_THREAD_BASIC_INFO) == 48, "thread basic information");
static_assert(offsetof(NATIVE_THREAD_BASIC_INFO, ClientIdThread) == 24, "thread basic information");
static_assert(offsetof(NATIVE_SYSTEM_BASIC_INFO, NumberOfProcessors) == 56, "system basic information");
static_assert(sizeof(NATIVE_SYSTEM_BASIC_INFO) == 64, "system basic information");
#else
static_assert(sizeof(NATIVE_UNICODE_STRING) == 8, "counted string");
static_assert(offsetof(NATIVE_PROCESS_RECORD, UserTime) == 40, "process record");
static_assert(offsetof(NATIVE_PROCESS_RECORD, KernelTime) == 48, "process record");
static_assert(offsetof(NATIVE_PROCESS_RECORD, ImageName) == 56, "process record");
static_assert(offsetof(NATIVE_PROCESS_RECORD, UniqueProcessId) == 68, "process record");
static_assert(offsetof(NATIVE_PROCESS_RECORD, InheritedFromUniqueProcessId) == 72, "process record");
static_assert(offsetof(NATIVE_PROCESS_RECORD, WorkingSetSize) == 104, "process record");
static_assert(sizeof(NATIVE_PROCESS_RECORD) == 112, "process record");
static_assert(sizeof(NATIVE_HANDLE_TABLE_HEADER) == 4, "handle table header");
static_assert(sizeof(NATIVE_HANDLE_ENTRY) == 16, "handle entry");
static_assert(offsetof(NATIVE_HANDLE_ENTRY, HandleValue) == 6, "handle entry");
static_assert(offsetof(NATIVE_HANDLE_ENTRY, Object) == 8, "handle entry");
static_assert(sizeof(NATIVE_OBJECT_TYPE_INFO) == 96, "object type information");
static_assert(sizeof(NATIVE_PROCESS_BASIC_INFO) == 24, "process basic information");
static_assert(offsetof(NATIVE_PROCESS_BASIC_INFO, UniqueProcessId) == 16, "process basic information");
static_assert(sizeof(NATIVE_THREAD_BASIC_INFO) == 28, "thread basic information");
static_assert(offsetof(NATIVE_THREAD_BASIC_INFO, ClientIdThread) == 12, "thread basic information");
static_assert(offsetof(NATIVE_SYSTEM_BASIC_INFO, NumberOfProcessors) == 40, "system basic information");
static_assert(sizeof(NATIVE_SYSTEM_BASIC_INFO) == 44, "system basic information");
#endif
static_assert(offsetof(NATIVE_TIME_OF_DAY_INFO, CurrentTime) == 8, "time of day");
static_assert(offsetof(NATIVE_FILE_NAME_INFO, FileName) == 4, "file name information");
