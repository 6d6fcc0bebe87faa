// The registry with every line of the largest switch configured: 32,768 lines, each with its
// number and password (65,536 values in one key). A parse, a read that the file has not changed
// since, a single write (on disk when it returns) and a batch rewriting every value.
// The registry is a file in a temporary folder of its own, never the user's.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/registry.h"

namespace {

namespace fs = std::filesystem;

constexpr int kLines = 32768;
// The device key, and the parts the provider creates it by, one under the other.
const char* const kKeyParts[] = {"Software\\OmbixBench\\Telephony", "Provider", "Device1"};
const char kKey[] = "Software\\OmbixBench\\Telephony\\Provider\\Device1";

std::string ValueName(int line, const char* what) {
  std::string name = "Line.";
  return name.append(std::to_string(line)).append(1, '.').append(what);
}

// The registry in a folder of its own for the process, named in OMBIX_REGISTRY.
class BenchRegistry {
 public:
  BenchRegistry() {
    std::string pattern = (fs::temp_directory_path() / "ombix-bench-registry-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    dir_ = pattern;
    path_ = (dir_ / "registry.reg").string();
    setenv("OMBIX_REGISTRY", path_.c_str(), 1);
  }
  ~BenchRegistry() {
    unsetenv("OMBIX_REGISTRY");
    fs::remove_all(dir_);
  }
  // The file with every line's values, written by hand and renamed in as a new file.
  void WriteLines(int generation) const {
    std::string text = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\";
    text += kKey;
    text += "]\n";
    for (int line = 0; line < kLines; ++line) {
      // Appended piece by piece: GCC 12 at -O3 misreads a literal + temporary as overlapping.
      text.append("\"").append(ValueName(line, "Number")).append("\"=\"");
      text.append(std::to_string(1000 + line)).append("\"\n\"");
      text.append(ValueName(line, "Password")).append("\"=\"pw");
      text.append(std::to_string(generation)).append("\"\n");
    }
    text += "\n";
    const std::string temp = path_ + ".new";
    std::ofstream(temp, std::ios::binary) << text;
    fs::rename(temp, path_);
  }

 private:
  fs::path dir_;
  std::string path_;
};

HKEY OpenDevice() {
  HKEY key = nullptr;
  return RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS
             ? key
             : nullptr;
}

LONG SetText(HKEY key, const std::string& name, const std::string& text) {
  return RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>(text.size() + 1));
}

// The first read after another process rewrote the file: it is parsed again.
void BM_ParseLines(benchmark::State& state) {
  BenchRegistry registry;
  int generation = 0;
  for (auto _ : state) {
    state.PauseTiming();
    registry.WriteLines(++generation);
    state.ResumeTiming();
    HKEY key = OpenDevice();
    char data[64];
    DWORD size = sizeof data;
    const LONG result =
        key ? RegQueryValueExA(key, ValueName(kLines - 1, "Number").c_str(), nullptr, nullptr,
                               reinterpret_cast<BYTE*>(data), &size)
            : ERROR_FILE_NOT_FOUND;
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) {
      state.SkipWithError("the value was not read");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations() * 2 * kLines);
}
BENCHMARK(BM_ParseLines)->Unit(benchmark::kMillisecond)->UseRealTime();

// A read of a file that has not changed since it was last read.
void BM_CachedRead(benchmark::State& state) {
  BenchRegistry registry;
  registry.WriteLines(0);
  HKEY key = OpenDevice();
  int line = 0;
  for (auto _ : state) {
    char data[64];
    DWORD size = sizeof data;
    line = (line + 4099) % kLines;
    if (RegQueryValueExA(key, ValueName(line, "Password").c_str(), nullptr, nullptr,
                         reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS) {
      state.SkipWithError("the value was not read");
      break;
    }
  }
  RegCloseKey(key);
}
BENCHMARK(BM_CachedRead)->Unit(benchmark::kMicrosecond)->UseRealTime();

// One change written to the disk before the call returns.
void BM_SingleWrite(benchmark::State& state) {
  BenchRegistry registry;
  registry.WriteLines(0);
  HKEY key = OpenDevice();
  int round = 0;
  for (auto _ : state) {
    if (SetText(key, ValueName(kLines / 2, "Password"), "pw-" + std::to_string(++round)) !=
        ERROR_SUCCESS) {
      state.SkipWithError("the value was not written");
      break;
    }
  }
  RegCloseKey(key);
}
BENCHMARK(BM_SingleWrite)->Unit(benchmark::kMillisecond)->UseRealTime();

// Every line's two values changed in one batch, each written as the provider writes a setting:
// its keys created (opened) one by one, then the value set.
void BM_BatchOfEveryLine(benchmark::State& state) {
  BenchRegistry registry;
  registry.WriteLines(0);
  int round = 0;
  for (auto _ : state) {
    ++round;
    if (OmbixRegBeginBatch() != ERROR_SUCCESS) {
      state.SkipWithError("no batch");
      break;
    }
    LONG result = ERROR_SUCCESS;
    for (int line = 0; line < kLines && result == ERROR_SUCCESS; ++line) {
      for (const char* what : {"Number", "Password"}) {
        HKEY keys[4] = {HKEY_LOCAL_MACHINE, nullptr, nullptr, nullptr};
        for (int i = 0; i < 3 && result == ERROR_SUCCESS; ++i) {
          result = RegCreateKeyExA(keys[i], kKeyParts[i], 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                   &keys[i + 1], nullptr);
        }
        if (result == ERROR_SUCCESS) {
          result = SetText(keys[3], ValueName(line, what), std::to_string(round * 100000 + line));
        }
        for (int i = 3; i > 0; --i) RegCloseKey(keys[i]);
      }
    }
    if (OmbixRegEndBatch() != ERROR_SUCCESS || result != ERROR_SUCCESS) {
      state.SkipWithError("the batch was not written");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations() * 2 * kLines);
}
BENCHMARK(BM_BatchOfEveryLine)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
