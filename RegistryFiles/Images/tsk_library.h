// The Sleuth Kit, loaded when an image is first opened: it brings some forty
// libraries with it (curl, TLS, Kerberos through AFF support), whose loading
// took most of the start-up of every run that reads no image.
#pragma once

#include <tsk/libtsk.h>

#include <string>

namespace platform {

struct TskLibrary {
  decltype(&::tsk_error_reset) error_reset;
  decltype(&::tsk_img_open_utf8) img_open_utf8;
  decltype(&::tsk_img_open_external) img_open_external;
  decltype(&::tsk_img_read) img_read;
  decltype(&::tsk_img_close) img_close;
  decltype(&::tsk_vs_open) vs_open;
  decltype(&::tsk_vs_part_get) vs_part_get;
  decltype(&::tsk_vs_close) vs_close;
  decltype(&::tsk_fs_open_img) fs_open_img;
  decltype(&::tsk_fs_close) fs_close;
  decltype(&::tsk_fs_file_open) fs_file_open;
  decltype(&::tsk_fs_file_read) fs_file_read;
  decltype(&::tsk_fs_file_close) fs_file_close;
  decltype(&::tsk_fs_dir_open) fs_dir_open;
  decltype(&::tsk_fs_dir_getsize) fs_dir_getsize;
  decltype(&::tsk_fs_dir_get_name) fs_dir_get_name;
  decltype(&::tsk_fs_dir_close) fs_dir_close;
};

// Loads it on the first call; null, with the library's name and dlerror's
// reason in *why, when it cannot be.
const TskLibrary* LoadTsk(std::string* why);

// The library, once LoadTsk has given it: every handle comes from it.
const TskLibrary& Tsk();

}  // namespace platform
