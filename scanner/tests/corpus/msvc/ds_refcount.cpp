// DirectSound code goes to the DSOUND section, as in the real library.
#pragma code_seg("DSOUND")
extern "C" unsigned long __stdcall XAudioCalculatePitch(unsigned long frequency) {
    unsigned long pitch = 0;
    while (frequency > 48000) {
        frequency >>= 1;
        pitch += 0x1000;
    }
    return pitch + frequency * 0x1000 / 48000;
}
