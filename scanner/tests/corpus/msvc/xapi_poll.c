/* Byte for byte the same function as XInputClose. */
int __stdcall XInputPoll(int h) { return h * 3 + 11; }
