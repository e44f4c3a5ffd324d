// Anchor translation unit so the platform library always has an object file.
namespace qm::platform {
int anchor() { return 0; }
}  // namespace qm::platform
