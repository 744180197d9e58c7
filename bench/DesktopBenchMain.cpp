// The log window and its list under load, on the display when there is one:
// - a log flood: 8 threads logging 20,000 lines each through the log sink,
//   twice; lines per second until the last line is shown, the longest round
//   trip of a message to the GUI thread meanwhile, and the process's memory
//   before and after each flood (bounded by the window's line limit);
// - a drain of 1,000 new lines into a log holding 100 and 100,000 lines;
// - a list of 100,000 lines: the time to append them, and per page scroll.
#include "DebugWindow.h"
#include "Log.h"
#include "StringUtil.h"

#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

const int LOG_KEY = LogRegisterKey("L_DesktopBench", true);

const int THREADS = 8;
const int FLOODS = 3;
const int LINES_PER_THREAD = 20000;
const int LIST_ITEMS = 100000;
const int PAGE_SCROLLS = 500;
const int DRAIN_LINES = 1000;
const int DRAIN_ROUNDS = 51;
const UINT PROBE_TIMEOUT_MS = 10000;

DebugWindow* theLog;
std::wstring lastLine;
std::atomic<bool> flooding;
std::atomic<bool> probing;
std::atomic<double> longestRoundTrip;

double seconds()
{
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart) / frequency.QuadPart;
}

double megabytes()
{
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  return counters.PagefileUsage / (1024.0 * 1024.0);
}

void logSink(const char* key, const char* text)
{
  theLog->addLine(WideFromUtf8(text).get(), key);
}

bool hasDisplay()
{
  return GetEnvironmentVariableW(L"DISPLAY", nullptr, 0) > 0;
}

template <typename Done>
void pumpUntil(Done done)
{
  MSG msg;
  while (!done()) {
    if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
      continue;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

bool lastLineShown()
{
  const wchar_t* text = theLog->getText(theLog->getCount() - 1);
  return text && lastLine == text;
}

// Round trips of a message to the GUI thread while the flood lasts.
void probeRoundTrips(HWND window)
{
  while (flooding) {
    double start = seconds();
    DWORD_PTR result;
    SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, PROBE_TIMEOUT_MS, &result);
    double took = seconds() - start;
    if (took > longestRoundTrip)
      longestRoundTrip = took;
    Sleep(1);
  }
  probing = false;
}

void flood(int round)
{
  double before = megabytes();
  longestRoundTrip = 0;
  lastLine = L"last line of flood " + std::to_wstring(round);
  flooding = true;
  probing = true;
  std::thread probe(probeRoundTrips, theLog->hwnd);
  double start = seconds();
  std::atomic<int> running(THREADS);
  std::vector<std::thread> producers;
  for (int t = 0; t < THREADS; t++) {
    producers.emplace_back([t, &running] {
      for (int i = 0; i < LINES_PER_THREAD; i++)
        LogPrintf(LOG_KEY, "thread %d line %d: a request for /v/some video.mp4?ss=%d", t, i, i * 10);
      if (--running == 0)
        theLog->addLine(lastLine.c_str(), "L_DesktopBench");
    });
  }
  pumpUntil(lastLineShown);
  double elapsed = seconds() - start;
  flooding = false;
  // The probe may be waiting on this thread.
  pumpUntil([] { return !probing; });
  for (std::thread& producer : producers)
    producer.join();
  probe.join();
  printf("log flood %d: %d lines in %.2f s = %.0f lines/s shown; longest round trip to the GUI thread %.1f ms; "
         "memory %.1f MB before, %.1f MB after (%d lines kept)\n",
         round, THREADS * LINES_PER_THREAD, elapsed, THREADS * LINES_PER_THREAD / elapsed,
         longestRoundTrip * 1000, before, megabytes(), theLog->getCount());
}

void createLog(DebugWindow& log)
{
  if (hasDisplay()) {
    log.create(nullptr);
    MoveWindow(log.hwnd, 0, 0, 600, 600, TRUE);
  } else {
    log.create(HWND_MESSAGE);
  }
}

void addLines(DebugWindow& log, int count)
{
  for (int i = 0; i < count; i++)
    log.addLine(L"a request for /v/some video.mp4?ss=120 from 192.168.1.20", "L_DesktopBench");
}

double median(std::vector<double> values)
{
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// The drain of the posted message, and the paint it leaves, timed apart, in
// a log of the default limit holding `held` lines: a young log, and a full
// one whose drain trims as many lines as it adds. Between rounds a young log
// is cut back, and each round's own posted message is taken.
void drainBench(int held)
{
  DebugWindow log(GetModuleHandleW(nullptr));
  createLog(log);
  addLines(log, held);
  pumpUntil([&log, held] { return log.getCount() >= held; });
  log.removeFirst(log.getCount() - held);
  std::vector<double> drains, paints;
  for (int round = 0; round < DRAIN_ROUNDS; round++) {
    UpdateWindow(log.hwnd);
    addLines(log, DRAIN_LINES);
    double start = seconds();
    SendMessageW(log.hwnd, WM_USER, 0, 0);
    double drained = seconds();
    UpdateWindow(log.hwnd);
    drains.push_back(drained - start);
    paints.push_back(seconds() - drained);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
      DispatchMessageW(&msg);
    log.removeFirst(log.getCount() - held);
  }
  printf("drain of %d lines with %d held: %.2f ms, then %.2f ms painting (medians of %d; slowest drain %.2f ms)\n",
         DRAIN_LINES, held, median(drains) * 1000, median(paints) * 1000, DRAIN_ROUNDS,
         *std::max_element(drains.begin(), drains.end()) * 1000);
}

void listBench()
{
  FlexListView list(GetModuleHandleW(nullptr));
  if (hasDisplay()) {
    list.style = (list.style | WS_OVERLAPPEDWINDOW) & ~WS_CHILD;
    list.create(0, 0, 500, 600, nullptr);
  } else {
    list.create(0, 0, 500, 600, HWND_MESSAGE);
  }
  double start = seconds();
  for (int i = 0; i < LIST_ITEMS; i++)
    list.addItem(-1, L"a line of the list, as long as a log line usually is", i);
  UpdateWindow(list.hwnd);
  double appended = seconds() - start;
  list.scrollTo(0);
  start = seconds();
  for (int i = 0; i < PAGE_SCROLLS; i++) {
    SendMessageW(list.hwnd, WM_VSCROLL, SB_PAGEDOWN, 0);
    UpdateWindow(list.hwnd);
  }
  double scrolled = seconds() - start;
  printf("list of %d lines: appended in %.3f s (%.2f us a line); %.3f ms per page scroll (%s)\n", LIST_ITEMS,
         appended, appended * 1e6 / LIST_ITEMS, scrolled * 1000 / PAGE_SCROLLS,
         hasDisplay() ? "painted on the display" : "no display: nothing painted");
}

}

int wmain()
{
  {
    DebugWindow log(GetModuleHandleW(nullptr));
    theLog = &log;
    createLog(log);
    LogSetSink(logSink);
    for (int round = 1; round <= FLOODS; round++)
      flood(round);
    LogSetSink(nullptr);
  }
  for (int held : {100, DEFAULT_MAX_LOG_LINES})
    drainBench(held);
  listBench();
  return 0;
}
