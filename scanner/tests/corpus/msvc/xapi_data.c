/* XAPI's data: the TLS index, a filter slot, device type descriptors and the device type table. */
int _tls_index;
void *g_XapiCurrentTopLevelFilter[2];
int g_DeviceType_Gamepad[4];
int g_DeviceType_Keyboard[4];
int g_DeviceType_MU[4];
struct XppRecord { unsigned char code; void *descriptor; };
const struct XppRecord xpp_gamepad = {1, g_DeviceType_Gamepad};
const struct XppRecord xpp_keyboard = {2, g_DeviceType_Keyboard};
#pragma section(".rdata$XPA", read)
#pragma section(".rdata$XPZ", read)
__declspec(allocate(".rdata$XPA")) const struct XppRecord *const g_DeviceTypeInfoTableBegin[2] = {&xpp_gamepad, &xpp_keyboard};
__declspec(allocate(".rdata$XPZ")) const struct XppRecord *const g_DeviceTypeInfoTableEnd[1] = {0};
