// Linux model only: the registry. Keys live per root (HKEY_CLASSES_ROOT is its own tree here, not
// a view of two others); paths and value names ignore letter case. Values are stored as Windows
// stores them: string data as UTF-16LE bytes. The W calls count sizes in sizeof(WCHAR) per unit
// of the caller's buffer, so the same launcher code means the same value on either side (a
// 260-unit buffer is stored as 520 bytes). The A calls convert string data from and to the ANSI
// code page, as Windows does.
#include <algorithm>
#include <cstring>

#include "world.h"

namespace winmodel {

namespace {

constexpr ULONG_PTR kFirstRoot = 0x80000000u;
constexpr ULONG_PTR kLastRoot = 0x80000003u;

bool IsPredefined(HKEY key)
{
    auto value = reinterpret_cast<ULONG_PTR>(key);
    return value >= kFirstRoot && value <= kLastRoot;
}

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// Upper-cased components joined by one backslash; empty components are dropped.
std::wstring JoinPath(const std::wstring& base, const wchar_t* subKey)
{
    std::wstring path = base;
    std::wstring upper = UpperCase(subKey ? subKey : L"");
    size_t pos = 0;
    while (pos <= upper.size()) {
        size_t next = upper.find(L'\\', pos);
        std::wstring part = upper.substr(pos, next == std::wstring::npos ? std::wstring::npos : next - pos);
        if (!part.empty()) path += (path.empty() ? L"" : L"\\") + part;
        if (next == std::wstring::npos) break;
        pos = next + 1;
    }
    return path;
}

bool KeyExists(ULONG_PTR root, const std::wstring& path)
{
    return path.empty() || World().registry.count({root, path}) > 0;
}

// The root and path behind a predefined root or an open key.
bool ResolveKey(HKEY key, OpenRegKey* out)
{
    if (IsPredefined(key)) {
        *out = OpenRegKey{reinterpret_cast<ULONG_PTR>(key), std::wstring(), KEY_ALL_ACCESS};
        return true;
    }
    auto it = World().openKeys.find(key);
    if (it == World().openKeys.end()) return false;
    *out = it->second;
    return true;
}

bool Denied(ULONG_PTR root) { return World().deniedRoots.count(root) > 0; }

constexpr REGSAM kWriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | 0x0020u /* KEY_CREATE_LINK */ | DELETE;

void CreatePath(ULONG_PTR root, const std::wstring& path)
{
    size_t pos = 0;
    while (pos != std::wstring::npos && !path.empty()) {
        pos = path.find(L'\\', pos);
        World().registry[{root, path.substr(0, pos)}];
        if (pos != std::wstring::npos) ++pos;
    }
}

HKEY NewKey(const OpenRegKey& key)
{
    WorldState& w = World();
    HKEY handle = reinterpret_cast<HKEY>(w.nextKey);
    w.nextKey += 4;
    w.openKeys.emplace(handle, key);
    return handle;
}

std::string StoreWide(const wchar_t* units, size_t count)
{
    std::string bytes;
    auto put = [&bytes](std::uint32_t unit) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>((unit >> 8) & 0xFF);
    };
    for (size_t i = 0; i < count; ++i) {
        auto c = static_cast<std::uint32_t>(units[i]);
        if (c > 0xFFFF) {
            c -= 0x10000;
            put(0xD800 + (c >> 10));
            put(0xDC00 + (c & 0x3FF));
        } else {
            put(c);
        }
    }
    return bytes;
}

std::wstring LoadWide(const std::string& bytes)
{
    std::wstring units;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        units += static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8));
    return units;
}

// The value record of a key, for an open key that grants the access.
LSTATUS FindKeyState(HKEY key, REGSAM access, RegKeyState** state, OpenRegKey* ref)
{
    if (!ResolveKey(key, ref)) return ERROR_INVALID_HANDLE;
    if ((ref->access & access) != access) return ERROR_ACCESS_DENIED;
    if ((access & kWriteRights) && Denied(ref->root)) return ERROR_ACCESS_DENIED;
    if (!KeyExists(ref->root, ref->path)) return ERROR_KEY_DELETED;
    *state = &World().registry[{ref->root, ref->path}];
    return ERROR_SUCCESS;
}

LSTATUS StoreValue(HKEY key, const std::wstring& name, DWORD type, std::string data)
{
    RegKeyState* state = nullptr;
    OpenRegKey ref;
    LSTATUS status = FindKeyState(key, KEY_SET_VALUE, &state, &ref);
    if (status != ERROR_SUCCESS) return status;
    RegValue value;
    value.type = type;
    value.data = std::move(data);
    state->values[UpperCase(name)] = {name, value};
    return ERROR_SUCCESS;
}

LSTATUS FindValue(HKEY key, const std::wstring& name, const RegValue** value)
{
    RegKeyState* state = nullptr;
    OpenRegKey ref;
    LSTATUS status = FindKeyState(key, KEY_QUERY_VALUE, &state, &ref);
    if (status != ERROR_SUCCESS) return status;
    auto it = state->values.find(UpperCase(name));
    if (it == state->values.end()) return ERROR_FILE_NOT_FOUND;
    *value = &it->second.second;
    return ERROR_SUCCESS;
}

// Hands the caller's view of a value over: a missing buffer asks only for the size; a buffer too
// small is left as it was.
LSTATUS DeliverValue(const RegValue& value, const std::string& bytes, LPDWORD type, LPBYTE data, LPDWORD dataSize)
{
    if (data && !dataSize) return ERROR_INVALID_PARAMETER;
    if (type) *type = value.type;
    if (!dataSize) return ERROR_SUCCESS;
    auto needed = static_cast<DWORD>(bytes.size());
    if (data && *dataSize < needed) {
        *dataSize = needed;
        return ERROR_MORE_DATA;
    }
    if (data) std::memcpy(data, bytes.data(), bytes.size());
    *dataSize = needed;
    return ERROR_SUCCESS;
}

}  // namespace

void SetRegValue(HKEY root, const std::wstring& subKey, const std::wstring& name, const RegValue& value)
{
    std::wstring path = JoinPath(std::wstring(), subKey.c_str());
    CreatePath(reinterpret_cast<ULONG_PTR>(root), path);
    World().registry[{reinterpret_cast<ULONG_PTR>(root), path}].values[UpperCase(name)] = {name, value};
}

void SetRegString(HKEY root, const std::wstring& subKey, const std::wstring& name, const std::wstring& text)
{
    RegValue value;
    value.type = REG_SZ;
    value.data = StoreWide(text.c_str(), text.size() + 1);
    SetRegValue(root, subKey, name, value);
}

bool GetRegValue(HKEY root, const std::wstring& subKey, const std::wstring& name, RegValue* value)
{
    auto key = World().registry.find({reinterpret_cast<ULONG_PTR>(root), JoinPath(std::wstring(), subKey.c_str())});
    if (key == World().registry.end()) return false;
    auto it = key->second.values.find(UpperCase(name));
    if (it == key->second.values.end()) return false;
    if (value) *value = it->second.second;
    return true;
}

bool RegKeyExists(HKEY root, const std::wstring& subKey)
{
    return KeyExists(reinterpret_cast<ULONG_PTR>(root), JoinPath(std::wstring(), subKey.c_str()));
}

std::vector<std::wstring> RegKeys(HKEY root)
{
    std::vector<std::wstring> keys;
    for (auto& [id, state] : World().registry)
        if (id.first == reinterpret_cast<ULONG_PTR>(root) && !id.second.empty()) keys.push_back(id.second);
    return keys;
}

std::vector<std::wstring> RegValueNames(HKEY root, const std::wstring& subKey)
{
    std::vector<std::wstring> names;
    auto key = World().registry.find({reinterpret_cast<ULONG_PTR>(root), JoinPath(std::wstring(), subKey.c_str())});
    if (key != World().registry.end())
        for (auto& [upper, entry] : key->second.values) names.push_back(entry.first);
    return names;
}

void DenyRegWrites(HKEY root, bool denied)
{
    if (denied)
        World().deniedRoots.insert(reinterpret_cast<ULONG_PTR>(root));
    else
        World().deniedRoots.erase(reinterpret_cast<ULONG_PTR>(root));
}

long OpenRegKeys() { return static_cast<long>(World().openKeys.size()); }

}  // namespace winmodel

using namespace winmodel;

LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD, REGSAM access, PHKEY result)
{
    MODEL_CALL("RegOpenKeyExW", static_cast<LSTATUS>(World().lastError));
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    OpenRegKey parent;
    if (!ResolveKey(key, &parent)) return ERROR_INVALID_HANDLE;
    std::wstring path = JoinPath(parent.path, subKey);
    if (!KeyExists(parent.root, path)) return ERROR_FILE_NOT_FOUND;
    if ((access & kWriteRights) && Denied(parent.root)) return ERROR_ACCESS_DENIED;
    *result = NewKey(OpenRegKey{parent.root, path, access});
    return ERROR_SUCCESS;
}

LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD, LPWSTR, DWORD, REGSAM access, LPSECURITY_ATTRIBUTES,
                        PHKEY result, LPDWORD disposition)
{
    MODEL_CALL("RegCreateKeyExW", static_cast<LSTATUS>(World().lastError));
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    OpenRegKey parent;
    if (!ResolveKey(key, &parent)) return ERROR_INVALID_HANDLE;
    if (!KeyExists(parent.root, parent.path)) return ERROR_KEY_DELETED;
    std::wstring path = JoinPath(parent.path, subKey);
    bool exists = KeyExists(parent.root, path);
    if (Denied(parent.root) && (!exists || (access & kWriteRights))) return ERROR_ACCESS_DENIED;
    if (!exists && !(parent.access & KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
    if (!exists) CreatePath(parent.root, path);
    if (disposition) *disposition = exists ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
    *result = NewKey(OpenRegKey{parent.root, path, access});
    return ERROR_SUCCESS;
}

LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD dataSize)
{
    MODEL_CALL("RegQueryValueExA", static_cast<LSTATUS>(World().lastError));
    if (reserved) return ERROR_INVALID_PARAMETER;
    const RegValue* value = nullptr;
    LSTATUS status = FindValue(key, DecodeText(CP_ACP, valueName ? valueName : ""), &value);
    if (status != ERROR_SUCCESS) return status;
    if (!IsStringType(value->type)) return DeliverValue(*value, value->data, type, data, dataSize);
    std::string narrow = EncodeText(CP_ACP, LoadWide(value->data));
    const DWORD room = dataSize ? *dataSize : 0;
    status = DeliverValue(*value, narrow, type, data, dataSize);
    // Like Windows, a string stored without its terminator gets one when the buffer has room.
    if (status == ERROR_SUCCESS && data && !narrow.empty() && narrow.back() != 0 && narrow.size() < room)
        data[narrow.size()] = 0;
    return status;
}

LSTATUS RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD dataSize)
{
    MODEL_CALL("RegQueryValueExW", static_cast<LSTATUS>(World().lastError));
    if (reserved) return ERROR_INVALID_PARAMETER;
    const RegValue* value = nullptr;
    LSTATUS status = FindValue(key, valueName ? valueName : L"", &value);
    if (status != ERROR_SUCCESS) return status;
    if (!IsStringType(value->type)) return DeliverValue(*value, value->data, type, data, dataSize);
    std::wstring units = LoadWide(value->data);
    std::string hostBytes(reinterpret_cast<const char*>(units.data()), units.size() * sizeof(wchar_t));
    return DeliverValue(*value, hostBytes, type, data, dataSize);
}

LSTATUS RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD, DWORD type, const BYTE* data, DWORD dataSize)
{
    MODEL_CALL("RegSetValueExW", static_cast<LSTATUS>(World().lastError));
    if (!data && dataSize) return ERROR_INVALID_PARAMETER;
    std::string stored;
    if (IsStringType(type))
        stored = StoreWide(reinterpret_cast<const wchar_t*>(data), dataSize / sizeof(wchar_t));
    else if (data)
        stored.assign(reinterpret_cast<const char*>(data), dataSize);
    return StoreValue(key, valueName ? valueName : L"", type, std::move(stored));
}

LSTATUS RegSetValueExA(HKEY key, LPCSTR valueName, DWORD, DWORD type, const BYTE* data, DWORD dataSize)
{
    MODEL_CALL("RegSetValueExA", static_cast<LSTATUS>(World().lastError));
    if (!data && dataSize) return ERROR_INVALID_PARAMETER;
    std::string bytes = data ? std::string(reinterpret_cast<const char*>(data), dataSize) : std::string();
    std::string stored = bytes;
    if (IsStringType(type)) {
        std::wstring wide = DecodeText(CP_ACP, bytes);
        stored = StoreWide(wide.c_str(), wide.size());
    }
    return StoreValue(key, DecodeText(CP_ACP, valueName ? valueName : ""), type, std::move(stored));
}

LSTATUS RegDeleteTreeW(HKEY key, LPCWSTR subKey)
{
    MODEL_CALL("RegDeleteTreeW", static_cast<LSTATUS>(World().lastError));
    OpenRegKey parent;
    if (!ResolveKey(key, &parent)) return ERROR_INVALID_HANDLE;
    if (Denied(parent.root)) return ERROR_ACCESS_DENIED;
    std::wstring path = JoinPath(parent.path, subKey);
    if (!KeyExists(parent.root, path)) return ERROR_FILE_NOT_FOUND;
    // Without a sub-key the key itself stays, emptied.
    const bool deleteSelf = subKey && *subKey && !path.empty();
    auto& registry = World().registry;
    for (auto it = registry.begin(); it != registry.end();) {
        const std::wstring& candidate = it->first.second;
        bool below = path.empty() ? !candidate.empty() : candidate.rfind(path + L"\\", 0) == 0;
        bool self = candidate == path;
        if (it->first.first == parent.root && (below || (self && deleteSelf)))
            it = registry.erase(it);
        else
            ++it;
    }
    if (!deleteSelf) {
        auto self = registry.find({parent.root, path});
        if (self != registry.end()) self->second.values.clear();
    }
    return ERROR_SUCCESS;
}

LSTATUS RegCloseKey(HKEY key)
{
    MODEL_CALL("RegCloseKey", static_cast<LSTATUS>(World().lastError));
    if (IsPredefined(key)) return ERROR_SUCCESS;
    return World().openKeys.erase(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
