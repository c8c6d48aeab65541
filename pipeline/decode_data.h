#pragma once
// DecodeData: the one object that holds the whole player pipeline, from the
// link parser's state to the decoder handles and the worker thread. Every
// operation of the player is a member of it; the members are defined in the
// files of pipeline/ingest, pipeline/decode and pipeline/present.

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/decode/decode_steps.h"
#include "core/decode/decoder_messages.h"
#include "core/demux/payload_queue.h"
#include "core/demux/picture_assembler.h"
#include "core/format/buffer_limits.h"
#include "core/format/link_frame.h"
#include "core/format/nal_unit.h"
#include "core/format/telemetry_record.h"
#include "core/present/picture_window.h"
#include "core/present/shown_picture.h"

extern "C" {
struct AVDictionary;
struct AVFormatContext;
struct AVCodecContext;
struct AVPacket;
struct AVFrame;
struct AVCodec;
struct SwsContext;
}

// What a pipeline shows of each picture. The player shows everything; the
// tools, benchmarks and tests that read a recording headless show nothing and
// observe the pipeline through its hooks instead.
struct Presentation {
    bool window = true;         // the "RGB Image" window
    bool lines = true;          // one telemetry line per picture on standard output
    bool firstUnitLine = true;  // the splitter's line at the stream's first start code
    static Presentation Headless() { return {false, false, false}; }
};

// Payloads taken off the queue by a headless caller, and their bytes.
struct SplitTally {
    uint64_t payloads = 0;
    uint64_t bytes = 0;
};

class DecodeData {
public:
    static constexpr int32_t kLinkBufSize = link_frame::kAssemblyBufferSize;
    static constexpr int32_t kNalBufSize = nal_unit::kAssemblyBufferSize;
    static constexpr int32_t kCropBufSize = buffer_limits::kLargestPictureBytes;
    static constexpr size_t kQueueLimit = buffer_limits::kQueuedPayloads;

    DecodeData();
    ~DecodeData();
    DecodeData(const DecodeData&) = delete;
    DecodeData& operator=(const DecodeData&) = delete;

    // Lifecycle (decode_data.cpp).
    void Init();
    void Release();
    static void ThreadEntry(void (DecodeData::*member)(), void* object);
    // Init's steps, for callers that drive the pipeline without the worker.
    void AllocateBuffers();
    void StartWorker();
    // Clears `running` and joins the worker; `serviceEvents` runs while the
    // worker is still busy, since a worker blocked in a window call waits for
    // the main thread's event loop.
    void StopWorker(const std::function<void()>& serviceEvents = {});

    // Driving the pipeline on the caller's own thread, without the worker
    // (pipeline/ingest/headless_feed.cpp).
    void Present(const Presentation& presentation);
    bool ShowsWindow() const { return windowEnabled; }
    // Parses `data` and splits every payload it completes before returning,
    // in pieces small enough that the queue never reaches its discard limit.
    SplitTally FeedAndSplit(const uint8_t* data, size_t size);
    // Splits whatever the queue holds now.
    SplitTally SplitQueued();
    // Payloads waiting in the queue; any thread may ask.
    size_t QueuedPayloads();

    // Link ingestion (pipeline/ingest).
    void ReplayFile(const std::string& path, uint64_t chunkSize);
    static int64_t ReadChunk(const std::string& path, uint64_t chunkSize, int64_t& offset,
                             uint8_t* buffer);
    void ParseLink(const uint8_t* data, int32_t length);
    void EnqueuePayload(const uint8_t* data, int32_t length);
    tagFRAME_LIST_ELEMENT* DequeuePayload();
    static void FreeElement(tagFRAME_LIST_ELEMENT* element);

    // Video decoding (pipeline/decode).
    void DecodeLoop();
    // Takes one payload off the queue and splits it; false when the queue was empty.
    bool ProcessNextPayload();
    void SplitNal(const uint8_t* data, int32_t length);
    void HandleNal(const uint8_t* unit, int32_t length);
    bool CaptureTelemetry(const uint8_t* unit, int32_t length);
    int32_t OpenDecoder();
    // Decoding threads. The player's one thread hands each picture back
    // before the next packet goes in; a headless caller may set more before
    // OpenDecoder (0: as many as FFmpeg chooses) and then gets each picture
    // a few packets later, and its error observer is called from FFmpeg's
    // threads too. FinishDecoding then shows what a single thread would
    // have shown by the end of the input.
    int32_t decoderThreads = 1;
    void FinishDecoding();

    // Presentation (pipeline/present).
    int32_t ShowFrame(const uint8_t* picture, TelemetryRecord record);
    static void CropChannel0(uint8_t* destination, const uint8_t* source);
    // The part of a width x height picture that is shown: channel 0's crop
    // or the whole picture.
    PictureArea ShownArea(int32_t width, int32_t height) const;

    // The pipeline's state, in the order of its design. Fields that an
    // operation tests before it writes them start cleared.
    int32_t videoType;
    int32_t frameCount;
    int32_t picWidth;
    int32_t picHeight;
    uint8_t* linkBuf;
    int32_t linkLen;
    int32_t linkState;
    uint32_t payloadLen;
    uint32_t linkWord;
    int32_t lastSeq;
    int32_t lostCount;
    std::mutex queueLock;
    std::list<tagFRAME_LIST_ELEMENT*> payloadQueue;
    uint8_t* nalBuf;
    int32_t nalLen;
    int32_t nalState;
    AVDictionary* codecOptions;
    AVDictionary* formatOptions;
    AVFormatContext* formatCtx;
    AVCodecContext* codecCtx;
    AVPacket* packet;
    AVFrame* frame;
    const AVCodec* codec;
    int32_t srcFormat;
    int32_t dstFormat;
    SwsContext* swsCtx;
    uint8_t* dstData[4];
    int32_t dstLinesize[4];
    TelemetryRecord telemetry;
    bool libRegistered;
    uint8_t* rgbBuf;
    uint8_t* cropBuf;
    // Atomic so that an orderly stop can clear it while the worker runs.
    std::atomic<bool> running;
    std::thread* worker;

    // Stop and presentation controls. The player sets `stopRequested` from
    // its signal handling; tools and tests turn the window or the line off.
    std::atomic<bool> stopRequested;
    std::atomic<bool> workerDone;
    bool windowEnabled;
    bool linePrinted;
    // The window's title; front ends that show several links tell them apart by it.
    std::string windowTitle = "RGB Image";
    // Link frames completed, and those dropped for an invalid payload length.
    uint64_t linkFrameCount;
    uint64_t invalidFrameCount;
    // Payloads the queue's discard rule threw away unsplit. Like the two
    // counts above, it is the parsing thread's to read.
    uint64_t discardedPayloadCount = 0;
    // The "aabbccdd" line is printed once in the object's life, even when an
    // oversized unit makes the splitter search for a start code again.
    bool firstUnitAnnounced;
    // How units are grouped into packets for the decoder, each picture's
    // record kept by its tag; what the decoding steps keep between packets;
    // and the window. All three are written on the thread that splits.
    PictureAssembler assembly;
    DecodeBookkeeping decoding;
    PictureWindow window;

    // Observers for the tools, benchmarks and tests; unset in the player.
    //
    // Every observer runs on the thread that splits the payloads: the worker
    // in a pipeline started with Init or StartWorker, the caller's own thread
    // for a headless caller (FeedAndSplit, SplitQueued, SplitNal). It may
    // read its arguments and change its own state; it must not call into the
    // pipeline, and it holds up the decoding for as long as it runs. Pointers
    // and references it is given are valid during the call only: the bytes
    // are the pipeline's buffers, reused for the next unit or picture.
    //
    // Each unit the splitter completes, start code included (telemetry units
    // too, before onTelemetry).
    std::function<void(const uint8_t* unit, int32_t length)> onNal;
    // Each telemetry record captured, once it is the current one.
    std::function<void(const TelemetryRecord& record)> onTelemetry;
    // Each packet as the decoder is given it, with its picture's tag.
    std::function<void(const uint8_t* data, int32_t size, int64_t tag)> onPacket;
    // Each picture shown, after its line, before the window shows it.
    std::function<void(const ShownPicture& picture)> onPicture;
    // Whether the picture observer will look at the next picture's pixels;
    // unset, it always does. A picture that neither the window nor the
    // observer looks at is not converted to RGB: the observer gets
    // rgb == nullptr, and the line and the count go on as ever.
    std::function<bool()> pixelsWanted;
    // When not empty, a picture the observer looks at comes to it as well
    // scaled to fit this box, aspect kept (ShownPicture::smallRgb), made
    // straight from the decoded picture: a thumbnail then costs a tenth of
    // the whole picture's conversion, which is made only for the window.
    // Should the small copy fail, the observer gets the whole picture.
    PictureBox smallPictureBox;

    // Hands the decoder's messages of error level and worse, as FFmpeg writes
    // them (a line may come in several parts; its last ends with the
    // newline), to `observer` with the tag of the picture being decoded, in
    // place of standard error. Decoding must happen on the calling thread,
    // as a headless caller's does, and the observer must outlive the
    // pipeline: what the decoder says while it is freed comes too. With
    // decoderThreads other than 1 the observer is called from FFmpeg's
    // threads as well, and must be safe for that (decoder_messages.cpp).
    void ObserveDecoderErrors(std::function<void(const char* text, int64_t tag)> observer);

private:
    void EndOfStream();
    void DiscardQueue();
    void StopObservingDecoderErrors();
    DecoderMessageRoute messageRoute_;
};
