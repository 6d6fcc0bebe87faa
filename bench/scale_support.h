// What the scale benchmarks share: the built OMBIX.TSP loaded as the telephony service loads it,
// a registry of their own in a temporary folder, and a switch-sim on a loopback address of its
// own serving as many phones as there are lines.
//
// The registry is $OMBIX_REGISTRY pointed at a file in a folder made for the run and removed at
// its end: the user's registry is never read or written. Each configuration writes the whole
// file anew (a new file renamed over the old one, as any writer does), with a serial number of
// its own in a key of the benchmark's, so the provider finds a file it has not read yet.
#pragma once

#include <dlfcn.h>
#include <malloc.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/tspi.h"
#include "tools/switch-sim/switch_sim.h"

namespace scale {

constexpr DWORD kProviderID = 7;
constexpr DWORD kLineBase = 100;
constexpr DWORD kVersion = 0x00020001;
constexpr char kPassword[] = "pw";

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

inline size_t HeapInUse() {
  return mallinfo2().uordblks;
}

// The phone number of line i.
inline std::string LineNumber(DWORD i) {
  return std::to_string(100000 + i);
}

// A loopback address of this process's own: the provider always calls the switch's port.
inline std::string SwitchAddress() {
  const unsigned pid = static_cast<unsigned>(getpid());
  return "127.78." + std::to_string((pid >> 8) & 0xFF) + "." + std::to_string(2 + pid % 250);
}

// The run's own registry folder, made on first use and removed at exit.
class Registry {
 public:
  static Registry& Get() {
    static Registry registry;
    return registry;
  }
  const std::string& Path() const { return m_file; }
  bool Ready() const { return !m_file.empty(); }

  // The provider key with the server and dwLines lines ("Line.%X.Number" and ".Password").
  bool Write(DWORD dwLines, const std::string& strServer) {
    char szSerial[16];
    std::snprintf(szSerial, sizeof(szSerial), "%08x", ++m_dwSerial);
    std::string text = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\OMBIX Benchmark]\n";
    text += "\"Serial\"=dword:" + std::string(szSerial) + "\n\n";
    text +=
        "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Telephony\\"
        "VOIP Service Provider (Z9410)\\Device" +
        std::to_string(kProviderID) + "]\n";
    char szLines[16];
    std::snprintf(szLines, sizeof(szLines), "%08x", dwLines);
    text += "\"Lines\"=dword:" + std::string(szLines) + "\n\"IP1\"=\"" + strServer +
            "\"\n\"IP2\"=\"\"\n";
    for (DWORD i = 0; i < dwLines; ++i) {
      char szIndex[16];
      std::snprintf(szIndex, sizeof(szIndex), "%X", i);
      text += "\"Line." + std::string(szIndex) + ".Number\"=\"" + LineNumber(i) + "\"\n";
      text += "\"Line." + std::string(szIndex) + ".Password\"=\"" + kPassword + "\"\n";
    }
    const std::string temp = m_file + ".new";
    {
      std::ofstream out(temp, std::ios::binary | std::ios::trunc);
      out << text << "\n";
      if (!out) return false;
    }
    return std::rename(temp.c_str(), m_file.c_str()) == 0;
  }

 private:
  Registry() {
    std::string pattern = (std::filesystem::temp_directory_path() / "ombix-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) return;
    m_dir = pattern;
    m_file = m_dir + "/registry.reg";
    setenv("OMBIX_REGISTRY", m_file.c_str(), 1);
  }
  ~Registry() {
    if (m_dir.empty()) return;
    std::error_code error;
    std::filesystem::remove_all(m_dir, error);
  }
  std::string m_dir;
  std::string m_file;
  DWORD m_dwSerial = 0;
};

inline void IgnoreCompletion(DRV_REQUESTID, LONG) {}

// The library, loaded; its entry points by name.
struct Provider {
  void* hLibrary = nullptr;
  decltype(&TSPI_lineNegotiateTSPIVersion) negotiate = nullptr;
  decltype(&TSPI_providerEnumDevices) enumDevices = nullptr;
  decltype(&TSPI_providerInit) init = nullptr;
  decltype(&TSPI_providerShutdown) shutdown = nullptr;
  decltype(&TSPI_lineGetDevCaps) getDevCaps = nullptr;
  decltype(&TSPI_lineGetExtensionID) getExtensionID = nullptr;
  decltype(&TSPI_lineGetLineDevStatus) getLineDevStatus = nullptr;
  decltype(&TSPI_lineOpen) open = nullptr;
  decltype(&TSPI_lineClose) close = nullptr;
  decltype(&TSPI_lineCloseCall) closeCall = nullptr;

  Provider() = default;
  Provider(const Provider&) = delete;
  Provider& operator=(const Provider&) = delete;
  ~Provider() { Unload(); }

  bool Load() {
    hLibrary = dlopen(OMBIX_TSP_PATH, RTLD_NOW | RTLD_LOCAL);
    auto get = [this](auto& fn, const char* pszName) {
      return (fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(
                  dlsym(hLibrary, pszName))) != nullptr;
    };
    return hLibrary != nullptr && get(negotiate, "TSPI_lineNegotiateTSPIVersion") &&
           get(enumDevices, "TSPI_providerEnumDevices") && get(init, "TSPI_providerInit") &&
           get(shutdown, "TSPI_providerShutdown") && get(getDevCaps, "TSPI_lineGetDevCaps") &&
           get(getExtensionID, "TSPI_lineGetExtensionID") &&
           get(getLineDevStatus, "TSPI_lineGetLineDevStatus") && get(open, "TSPI_lineOpen") &&
           get(close, "TSPI_lineClose") && get(closeCall, "TSPI_lineCloseCall");
  }
  void Unload() {
    if (hLibrary != nullptr) dlclose(hLibrary);
    hLibrary = nullptr;
  }
  // As the telephony service starts a provider: negotiation, enumeration; the line count the
  // provider reported, 0 when it failed.
  DWORD Enumerate() {
    DWORD dwVersion = 0;
    DWORD dwLines = 0;
    DWORD dwPhones = 0;
    if (negotiate(INITIALIZE_NEGOTIATION, kVersion, kVersion, &dwVersion) != 0) return 0;
    if (enumDevices(kProviderID, &dwLines, &dwPhones, nullptr, nullptr, nullptr) != 0) return 0;
    return dwLines;
  }
  bool Init(DWORD dwLines) {
    DWORD dwOptions = 0;
    return init(kVersion, kProviderID, kLineBase, 0, dwLines, 0, IgnoreCompletion, &dwOptions) == 0;
  }
  // The registry written with dwLines lines and that server, then enumeration and providerInit.
  bool Start(DWORD dwLines, const std::string& strServer) {
    return Registry::Get().Write(dwLines, strServer) && Enumerate() == dwLines && Init(dwLines);
  }
  void Shutdown() { shutdown(kVersion, kProviderID); }
};

// A switch-sim on this process's own loopback address with the phones of lines 0 .. n-1.
inline std::unique_ptr<SwitchSim> StartSwitch(DWORD dwPhones) {
  SwitchSimConfig config;
  config.strAddress = SwitchAddress();
  config.phones.clear();
  config.phones.reserve(dwPhones);
  for (DWORD i = 0; i < dwPhones; ++i) config.phones.push_back({LineNumber(i), kPassword, ""});
  config.nReceivedKept = 16;
  auto sim = std::make_unique<SwitchSim>(config);
  if (!sim->Start()) return nullptr;
  return sim;
}

// A switch-sim with a phone for each of dwLines lines and the provider started on it; what
// failed, or nullptr.
inline const char* StartOnSwitch(Provider& provider, DWORD dwLines,
                                 std::unique_ptr<SwitchSim>& sim) {
  if (!Registry::Get().Ready()) return "no registry";
  if ((sim = StartSwitch(dwLines)) == nullptr) return "switch-sim did not start";
  if (!provider.Load() || !provider.Start(dwLines, SwitchAddress())) {
    return "the provider did not start";
  }
  return nullptr;
}

// lineOpen of every line, line i as TAPI's line i + 1; false when one did not open.
inline bool OpenLines(Provider& provider, std::vector<HDRVLINE>& lines, LINEEVENT lpfnEvent) {
  for (DWORD i = 0; i < lines.size(); ++i) {
    const auto htLine = reinterpret_cast<HTAPILINE>(static_cast<DWORD_PTR>(i + 1));
    if (provider.open(kLineBase + i, htLine, &lines[i], kVersion, lpfnEvent) != 0) return false;
  }
  return true;
}

}  // namespace scale
