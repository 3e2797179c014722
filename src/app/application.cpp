// The application object's construction and its two console callbacks.
#include "app/application.h"

#include <cstdio>

Application::Application() {
  // Every field starts at its default (member initialisers): flags and
  // counters 0, include-initial flags 1, type-27 mode 1, L2 mode 3, and
  // the default callbacks with zero user data.
  SetMessageCallback(DefaultMessageCallback, nullptr);
  SetProgressCallback(DefaultProgressCallback, 0, 0);
}

void Application::SetMessageCallback(MessageCallback cb, void* userData) {
  messageCallback = cb;
  messageUserData = userData;
}

void Application::SetProgressCallback(ProgressCallback cb, uintptr_t userA, uintptr_t userB) {
  progressCallback = cb;
  progressUserA = userA;
  progressUserB = userB;
}

void DefaultMessageCallback(int32_t /*level*/, const char* text, void* /*userData*/) {
  std::printf("%s\n", text != nullptr ? text : "");
}

uint16_t DefaultProgressCallback(uint8_t* /*cancel*/, uint16_t percent, uintptr_t /*userA*/,
                                 uintptr_t /*userB*/) {
  return percent;
}
