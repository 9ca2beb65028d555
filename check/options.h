// The command line of QuillonCheck, parsed into plain values.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct CheckOptions {
  std::wstring device;      // empty: pick one in the chooser
  bool interactive = false; // prompt a person for scans, run interactive health checks
  bool feed = false;        // feed labels through the simulated device's injector
  bool allowWrites = false; // statistics Update and Reset may run
  bool list = false;        // print the catalogue and end
  bool help = false;
  std::vector<std::wstring> only; // id patterns (* and ?), any of which selects a rule
  std::wstring junitPath;
  std::wstring reportPath;
  bool noArguments = false; // started without any argument: the report goes to Documents
  unsigned callTimeoutMs = 10000;
  unsigned scanTimeoutMs = 30000;
  // The hidden second-process mode: hold the claim on holdDevice until told
  // to let go (holdSignal names the events that coordinate it).
  std::wstring holdDevice;
  std::wstring holdSignal;
  long holdTimeout = 0;
};

// Parses the arguments after the program name. On a malformed argument
// returns false with the message in error.
bool ParseCheckOptions(const std::vector<std::wstring> &args, CheckOptions &options, std::wstring &error);

// Whether id matches a pattern of * (any run of characters) and ? (any one).
bool MatchesPattern(std::wstring_view pattern, std::wstring_view id);

// The default report's file name, "QuillonCheck QuillonSim 2026-12-08 224501.txt":
// characters a file name cannot hold become "_", and a long device name is
// cut so that the path stays within the classic limit.
std::wstring ReportFileName(const std::wstring &device, const SYSTEMTIME &time);

// The usage text printed for --help and after a malformed argument.
extern const wchar_t kCheckUsage[];
