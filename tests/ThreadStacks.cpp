#include "ThreadStacks.h"

#include "DebugHeap.h"

#include <windows.h>

#include <tlhelp32.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

const int MAX_FRAMES = 48;

void say(const char* format, ...)
{
  char text[600];
  va_list arguments;
  va_start(arguments, format);
  int length = vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  if (length < 0)
    return;
  DWORD written;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, length < static_cast<int>(sizeof text) ? length : sizeof text - 1,
            &written, nullptr);
}

// The image that holds an address, or null.
const BYTE* imageOf(uintptr_t address)
{
  MEMORY_BASIC_INFORMATION region;
  if (!VirtualQuery(reinterpret_cast<void*>(address), &region, sizeof region) || region.Type != MEM_IMAGE)
    return nullptr;
  return static_cast<const BYTE*>(region.AllocationBase);
}

// System modules have no map: the export at or below the address names it.
void sayExportedName(const BYTE* image, uintptr_t address)
{
  const IMAGE_DOS_HEADER* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image);
  const IMAGE_NT_HEADERS* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(image + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  DWORD offset = static_cast<DWORD>(address - reinterpret_cast<uintptr_t>(image));
  if (!directory.VirtualAddress) {
    say("    %08x  image %p +0x%x\n", static_cast<unsigned>(address), image, offset);
    return;
  }
  const IMAGE_EXPORT_DIRECTORY* exports =
      reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(image + directory.VirtualAddress);
  const DWORD* functions = reinterpret_cast<const DWORD*>(image + exports->AddressOfFunctions);
  const DWORD* names = reinterpret_cast<const DWORD*>(image + exports->AddressOfNames);
  const WORD* ordinals = reinterpret_cast<const WORD*>(image + exports->AddressOfNameOrdinals);
  const char* best = "(start)";
  DWORD bestOffset = 0;
  for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
    DWORD candidate = functions[ordinals[i]];
    if (candidate <= offset && candidate >= bestOffset) {
      bestOffset = candidate;
      best = reinterpret_cast<const char*>(image + names[i]);
    }
  }
  say("    %08x  %s!%s+0x%x\n", static_cast<unsigned>(address), reinterpret_cast<const char*>(image + exports->Name),
      best, offset - bestOffset);
}

void sayName(uintptr_t address)
{
  const BYTE* image = imageOf(address);
  CodePosition position;
  bool ours = image == reinterpret_cast<const BYTE*>(GetModuleHandleW(nullptr)) && lookupCode(address, position);
  if (ours && position.line)
    say("    %08x  %s  %s:%d\n", static_cast<unsigned>(address), position.function, position.file, position.line);
  else if (ours)
    say("    %08x  %s\n", static_cast<unsigned>(address), position.function);
  else if (image)
    sayExportedName(image, address);
  else
    say("    %08x  ?\n", static_cast<unsigned>(address));
}

// The frames of a suspended thread: where it stands, then the return
// addresses up its chain of frame pointers.
int framesOf(HANDLE thread, unsigned* frames)
{
  CONTEXT context = {};
  context.ContextFlags = CONTEXT_CONTROL | CONTEXT_INTEGER;
  if (!GetThreadContext(thread, &context))
    return 0;
  frames[0] = context.Eip;
  MEMORY_BASIC_INFORMATION region;
  if (!VirtualQuery(reinterpret_cast<void*>(context.Esp), &region, sizeof region))
    return 1;
  uintptr_t high = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize;
  return 1 + walkFrames(reinterpret_cast<void*>(context.Ebp), context.Esp, high, frames + 1, MAX_FRAMES - 1);
}

}

void printThreadStacks()
{
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 entry;
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID != GetCurrentProcessId() || entry.th32ThreadID == GetCurrentThreadId())
      continue;
    HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT, FALSE, entry.th32ThreadID);
    if (!thread)
      continue;
    // Only the walk needs the thread held; naming reads the images alone.
    unsigned frames[MAX_FRAMES];
    int count = SuspendThread(thread) == static_cast<DWORD>(-1) ? 0 : framesOf(thread, frames);
    ResumeThread(thread);
    CloseHandle(thread);
    say("Thread %lu:\n", entry.th32ThreadID);
    for (int i = 0; i < count; ++i)
      sayName(frames[i]);
  }
  CloseHandle(snapshot);
}
