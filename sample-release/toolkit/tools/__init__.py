"""The translation toolkit's modules: the XBE reader and the XDK symbol scan."""
