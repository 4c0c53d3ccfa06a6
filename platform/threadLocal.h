// A variable of each thread's own, read as cheaply as a global where the
// system allows it. On ELF systems the library's copy then lies at a fixed
// offset from the thread pointer (the initial-exec model); the general
// model a shared library gets otherwise calls __tls_get_addr at every read,
// which costs more than what the variable saves. The few bytes it takes
// come from the room the loader keeps for libraries opened later.
#pragma once

#if defined(__ELF__)
#define PLATFORM_THREAD_LOCAL thread_local __attribute__((tls_model("initial-exec")))
#else
#define PLATFORM_THREAD_LOCAL thread_local
#endif
