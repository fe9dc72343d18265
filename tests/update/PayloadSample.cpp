// A program that carries the packed updater, for the tests of its extraction.
int main() {
  return 0;
}
