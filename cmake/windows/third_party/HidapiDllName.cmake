# Read after hidapi's project(): its DLL is hidapi.dll, the name programs for
# Windows look for, not MinGW's libhidapi.dll.
set(CMAKE_SHARED_LIBRARY_PREFIX "")
