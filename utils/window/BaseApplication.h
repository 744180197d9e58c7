#pragma once

#include <windows.h>

// The application object, the message loop and the command line.

// Base of the program's application object: COM, start-up, the message loop
// and shut-down.
class BaseApplication {
public:
  BaseApplication(HINSTANCE instance, const wchar_t* name, float version);
  virtual ~BaseApplication();
  BaseApplication(const BaseApplication&) = delete;
  BaseApplication& operator=(const BaseApplication&) = delete;

  int run(const wchar_t* cmdLine);
  virtual bool init(const wchar_t* cmdLine) { (void)cmdLine; return true; }
  virtual void exit() {}

  const wchar_t* getName() const { return _name; }
  const wchar_t* getTitle() const { return _title; }
  float getVersion() const { return _version; }
  HINSTANCE getInstance() const { return _hInstance; }

private:
  float _version;
  wchar_t* _name;
  wchar_t* _title;
  HINSTANCE _hInstance;
};

// Offers each message to the accelerators, modeless dialogs and modeless
// property sheets before dispatching it; the WM_QUIT code is the result.
int runMessageLoop();

// A command line cut into at most maxArgs arguments; double quotes group
// blanks, and are kept where they stand inside a word.
class CommandLine {
public:
  CommandLine(const wchar_t* text, int maxArgs);
  ~CommandLine();
  CommandLine(const CommandLine&) = delete;
  CommandLine& operator=(const CommandLine&) = delete;

  int getCount() const { return _count; }
  const wchar_t* getArg(int i) const;

private:
  int _count;
  wchar_t* _text;
  wchar_t** _args;
};
