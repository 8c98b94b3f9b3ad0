// Linux model only: the client end of named pipes served by tests (the running main application).
#include "world.h"

namespace winmodel {

namespace {

// Tests name a pipe by its path (\\.\pipe\name) or by the bare name; it is kept upper-cased.
std::wstring PipeKey(const std::wstring& name)
{
    ResolvedPath r = Resolve(name);
    return r.isPipe ? r.pipeName : UpperCase(name);
}

}  // namespace

void ServePipe(const std::wstring& name, const PipeOptions& options) { World().pipes[PipeKey(name)].options = options; }

std::vector<std::string> PipeMessages(const std::wstring& name)
{
    auto it = World().pipes.find(PipeKey(name));
    return it == World().pipes.end() ? std::vector<std::string>() : it->second.messages;
}

std::vector<PipeOpen> PipeOpens(const std::wstring& name)
{
    auto it = World().pipes.find(PipeKey(name));
    return it == World().pipes.end() ? std::vector<PipeOpen>() : it->second.opens;
}

HANDLE OpenPipeClient(const ResolvedPath& path, DWORD access, DWORD share, DWORD disposition, DWORD flags)
{
    auto it = World().pipes.find(path.pipeName);
    if (it == World().pipes.end()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    it->second.opens.push_back(PipeOpen{access, share, disposition, flags});
    if (it->second.options.busy) {
        SetLastError(ERROR_PIPE_BUSY);
        return INVALID_HANDLE_VALUE;
    }
    if (disposition != OPEN_EXISTING) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    HandleObject object;
    object.kind = HandleKind::Pipe;
    object.pipeName = path.pipeName;
    object.access = access;
    object.share = share;
    SetLastError(ERROR_SUCCESS);
    return NewHandle(object);
}

BOOL WritePipe(HandleObject& pipe, LPCVOID buffer, DWORD toWrite, LPDWORD written)
{
    PipeState& state = World().pipes[pipe.pipeName];
    if (!(pipe.access & (GENERIC_WRITE | GENERIC_ALL))) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (state.options.failWrites) {
        SetLastError(ERROR_NO_DATA);
        return FALSE;
    }
    DWORD taken = toWrite;
    if (state.options.acceptBytes >= 0 && taken > static_cast<DWORD>(state.options.acceptBytes))
        taken = static_cast<DWORD>(state.options.acceptBytes);
    state.messages.emplace_back(static_cast<const char*>(buffer), taken);
    if (written) *written = taken;
    return TRUE;
}

}  // namespace winmodel
