// The main job against the built-in simulated terminal: starts a simulator on
// loopback, connects through the SDK's exported API as an application does,
// and prints what the terminal reports.
#include <cstdio>
#include <cstring>
#include <vector>

#include "sim/vxsim.h"
#include "vxsdk.h"

int main() {
  vxsim::Personality personality;
  personality.firmwareVersion = "Ver 6.60 Apr 28 2010";
  vxsim::Simulator terminal(personality);
  std::printf("simulated terminal on 127.0.0.1:%u\n", static_cast<unsigned>(terminal.port()));

  void* handle = VX_Connect_NET("127.0.0.1", terminal.port(), nullptr, 0, 0);
  if (handle == nullptr) {
    std::fprintf(stderr, "127.0.0.1:%u: connection failed (last error %d)\n", static_cast<unsigned>(terminal.port()),
                 VX_LastError());
    return 1;
  }
  char text[64] = {};
  VX_GetSDKVersion(text);
  std::printf("SDK version:      %s\n", text);
  if (VX_GetFirmwareVersion(handle, text) != 1) {
    std::fprintf(stderr, "127.0.0.1:%u: reading the firmware version failed\n", static_cast<unsigned>(terminal.port()));
    VX_Close(handle);
    return 1;
  }
  std::printf("firmware version: %s\n", text);
  std::printf("disable / enable: %d / %d\n", VX_DisableDevice(handle, 0), VX_EnableDevice(handle));
  VX_Close(handle);
  std::printf("closed\n");
  return 0;
}
