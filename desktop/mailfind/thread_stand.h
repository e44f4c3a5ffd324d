// TThreadStand: the worker that searches a folder tree for mail store files of one kind
// (a file mask such as "*.mbx" or "*.snm") and lists those of at least 1,024 bytes with
// their folder, size text and date text. It runs on a thread of its own; its rows, status
// texts and completion callback reach the window thread only through the poster the
// caller supplies, in batches, so list views are touched only there. Qt-free; the mail
// form (desktop/forms) and the index wizard drive it.
#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace qm {

struct MailFileRow {
  std::string name;       // caption: the file found (renamed for .snm and .toc pairs)
  std::string folder;     // the folder it lies in, ending in "/"
  std::string size_text;  // "(size / 1024 + 1)KB" with thousands separators
  std::string date_text;  // local last-write time, "" when the file cannot be opened
};

// "n/1024+1" with thousands separators and "KB": 1,024 bytes give "2KB".
std::string MailSizeText(uint64_t bytes);
// "year/mm/dd AM|PM hh:mm" of a local time, 12-hour clock (0 and 12 shown as 12).
std::string MailDateText(std::time_t when);

class TThreadStand {
 public:
  // Runs a task on the window thread (queued; the worker never waits for it).
  using Poster = std::function<void(std::function<void()>)>;
  using RowsSink = std::function<void(std::vector<MailFileRow>)>;
  // A status: the folder being walked (file-system bytes, folder true) or, at the end,
  // one of the texts of SetTexts.
  using TextSink = std::function<void(const std::string& status, bool folder)>;
  using Callback = std::function<void(void* user)>;

  explicit TThreadStand(Poster post);
  ~TThreadStand();  // stops the walk and waits for the worker
  TThreadStand(const TThreadStand&) = delete;
  TThreadStand& operator=(const TThreadStand&) = delete;

  // The directory mask ("*." = every folder) and the file mask (matched case-blind).
  void SetMasks(std::string dir_mask, std::string file_mask);
  void SetRowsSink(RowsSink rows) { rows_ = std::move(rows); }
  void SetStatusBar(TextSink bar) { status_bar_ = std::move(bar); }
  void SetLabel(TextSink label) { label_ = std::move(label); }
  void SetCallback(Callback cb, void* user) { callback_ = std::move(cb), user_ = user; }
  void SetStartFolder(std::string folder) { start_folder_ = std::move(folder); }
  // Status texts: stopped, and the two around the number found.
  void SetTexts(std::string stopped, std::string found_before, std::string found_after);

  void Start();        // runs Execute on the worker thread
  void Stop() { stop_ = true; }  // read by the worker at each folder
  void Wait();         // joins the worker
  bool StopRequested() const { return stop_; }
  int Found() const { return found_; }

  // The search itself, on the calling thread.
  void Execute();

 private:
  void Walk(const std::string& folder, bool first_level);
  void Flush(std::string status, bool folder, bool force);

  Poster post_;
  std::string dir_mask_ = "*.";
  std::string file_mask_;
  RowsSink rows_;
  TextSink status_bar_, label_;
  Callback callback_;
  void* user_ = nullptr;
  std::string start_folder_;
  std::string text_stopped_, text_before_, text_after_;
  std::atomic<bool> stop_{false};
  std::atomic<int> found_{0};
  std::vector<MailFileRow> batch_;
  std::chrono::steady_clock::time_point last_post_{};
  std::vector<std::pair<uint64_t, uint64_t>> visited_;
  std::thread worker_;
};

}  // namespace qm
