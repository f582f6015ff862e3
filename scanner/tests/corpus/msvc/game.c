/* The game's own code, linked with the libraries: its small functions look like library ones. */
struct counted { unsigned long vtable, refs; };
int game_state[8];
int __stdcall game_always(int a, int b) { return 1; }
void game_clear(void) { game_state[0] = 0; }
unsigned long __stdcall game_addref(struct counted *c) { return ++c->refs; }
int __stdcall game_triple(int h) { return h * 3 + 11; }
int __stdcall game_mix(int a, int b) { return (a ^ 0x5a5a) * 3 + b * 7 - game_state[a & 7]; }
int main(void) { game_clear(); return game_always(1, 2) + game_triple(game_mix(3, 4)) + (int)game_addref(0); }
