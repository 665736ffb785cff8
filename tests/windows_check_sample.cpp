// A Windows console program without version resource or manifest: the sample on which the checks
// of the shipped programs must fail.
int main() {
    return 0;
}
