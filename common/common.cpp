// Anchor translation unit so the common library always has an object file.
namespace qm::common {
int anchor() { return 0; }
}  // namespace qm::common
