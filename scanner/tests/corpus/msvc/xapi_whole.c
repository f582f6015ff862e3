/* Built with whole-program optimisation (-flto): the library member holds bitcode, not code. */
int __stdcall XapiFormatObjectAttributes(int *attributes, int name, int root) {
    attributes[0] = 24;
    attributes[1] = root;
    attributes[2] = name;
    return attributes[0] + root * 3;
}
