// A program that only exists to carry a version resource for the tests.
int main() {
  return 0;
}
