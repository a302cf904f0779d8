#include "cabinet.h"

#include <libgcab.h>

namespace tonvik::msi {

namespace {

template <typename T>
struct Unref {
  T* p;
  ~Unref() {
    if (p != nullptr) g_object_unref(p);
  }
};

}  // namespace

bool ExtractCabinet(const std::vector<uint8_t>& cabinet,
                    std::map<std::string, std::vector<uint8_t>>* files) {
  files->clear();
  GBytes* bytes = g_bytes_new(cabinet.data(), cabinet.size());
  Unref<GInputStream> in{g_memory_input_stream_new_from_bytes(bytes)};
  g_bytes_unref(bytes);
  Unref<GCabCabinet> cab{gcab_cabinet_new()};
  GError* error = nullptr;
  // A NULL folder keeps every extracted file in memory.
  if (!gcab_cabinet_load(cab.p, in.p, nullptr, &error) ||
      !gcab_cabinet_extract(cab.p, nullptr, nullptr, nullptr, nullptr, nullptr, &error)) {
    if (error != nullptr) g_error_free(error);
    return false;
  }
  GPtrArray* folders = gcab_cabinet_get_folders(cab.p);
  for (guint i = 0; i < folders->len; ++i) {
    auto* folder = static_cast<GCabFolder*>(g_ptr_array_index(folders, i));
    GSList* list = gcab_folder_get_files(folder);
    for (GSList* f = list; f != nullptr; f = f->next) {
      auto* file = static_cast<GCabFile*>(f->data);
      GBytes* content = gcab_file_get_bytes(file);
      if (content == nullptr) {
        g_slist_free(list);
        files->clear();
        return false;
      }
      gsize size = 0;
      const auto* data = static_cast<const uint8_t*>(g_bytes_get_data(content, &size));
      (*files)[gcab_file_get_name(file)] = std::vector<uint8_t>(data, data + size);
    }
    g_slist_free(list);
  }
  return true;
}

std::array<uint8_t, 16> Md5(const std::vector<uint8_t>& bytes) {
  std::array<uint8_t, 16> digest{};
  GChecksum* checksum = g_checksum_new(G_CHECKSUM_MD5);
  g_checksum_update(checksum, bytes.data(), bytes.size());
  gsize size = digest.size();
  g_checksum_get_digest(checksum, digest.data(), &size);
  g_checksum_free(checksum);
  return digest;
}

}  // namespace tonvik::msi
