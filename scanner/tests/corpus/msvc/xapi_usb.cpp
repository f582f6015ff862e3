// A C++ method (thiscall) without a namespace.
struct IUsbInit {
    unsigned long count;
    unsigned long GetMaxDeviceTypeCount(void *type);
};
unsigned long IUsbInit::GetMaxDeviceTypeCount(void *type) {
    count += (type != 0) ? 2 : 1;
    return count * 4 + 1;
}
