#include "rules/OperationKinds.h"

#include "base/LateBound.h"

const OperationKindInfo g_operationKinds[OPERATION_KIND_COUNT] = {
    {L"OpenFile", L"文件操作", 1, L"文件名", nullptr},
    {L"RegSetValue", L"注册表访问", 3, L"注册表路径", L"注册表名称"},
    {L"Execute", L"运行程序", 1, L"文件名", nullptr},
};

const wchar_t* OperationKeyword(uint32_t kind)
{
    return kind < OPERATION_KIND_COUNT ? g_operationKinds[kind].keyword : L"[Invalid reason]";
}

const wchar_t* OperationDisplayName(uint32_t kind)
{
    return kind < OPERATION_KIND_COUNT ? g_operationKinds[kind].displayName : L"[无效]";
}

uint32_t OperationFromKeyword(const wchar_t* text)
{
    auto SameIgnoringCase = [](const wchar_t* a, const wchar_t* b) {
        return EqualNoCaseOrdinal(a, b);
    };
    if (!text)
        return OperationKind::OpenFile;
    if (SameIgnoringCase(text, L"Execute"))
        return OperationKind::Execute;
    if (SameIgnoringCase(text, L"RegSetValue"))
        return OperationKind::SetRegistryValue;
    return OperationKind::OpenFile;
}
