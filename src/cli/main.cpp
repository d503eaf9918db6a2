// quillmark-check: headless check of a delivery (the run core joins once the checkers land).
int main() { return 2; }
