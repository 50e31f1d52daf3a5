// WebView2.h includes "EventToken.h", the Windows SDK's spelling; mingw-w64 ships the same
// declaration (EventRegistrationToken) as <eventtoken.h>, and Linux file names are case-sensitive.
#pragma once
#include <eventtoken.h>
