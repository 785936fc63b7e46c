// The library that carries the program's compiled-in pictures (":/skin/...").
// The resource data itself is added by the build; this unit only gives the
// library a symbol of its own.
namespace trackmill_resources {
int Linked() {
    return 1;
}
}  // namespace trackmill_resources
