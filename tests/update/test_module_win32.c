/* A library for the Windows tests to load into a helper process: the stand-in for a client DLL that
   a program outside the client folder has loaded. */
__declspec(dllexport) int corvane_test_module(void) { return 42; }
