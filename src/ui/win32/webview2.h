#pragma once
// The WebView2 SDK's interface declarations: Microsoft's NuGet package Microsoft.Web.WebView2,
// headers only, fetched at configure time (cmake/webview2_sdk.cmake). The loader function that
// the header declares, CreateCoreWebView2EnvironmentWithOptions, is our own (webview2_loader.cpp).
#include <windows.h>
#include <objidl.h>

#include <WebView2.h>
