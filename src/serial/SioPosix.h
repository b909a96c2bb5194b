// The device layer of the dispatcher on a kyd::platform::SerialDevice, with
// its four threads per open port:
//   reader   - waits for input on the device and pushes data blocks onto the
//              I/O queue (stops reading while the queue is full); when the
//              dispatch thread is idle and the queue was empty, it runs the
//              data pass for its block itself (same locks, same order), so
//              a reply reaches its handler without a second thread wake-up.
//              While the main thread waits in the message loop for a reply
//              (TSioCustomComPort::PumpUntil) it watches the device and
//              does the reader's work itself, and the reader stands aside:
//              the reply then needs no thread hand-over at all;
//   dispatch - moves queued data into the dispatch buffer, checks the
//              triggers and calls the handlers (waits for room when the
//              dispatch buffer is full); runs the timers, the status blocks
//              and every block the reader left in the queue. One data pass
//              runs at a time (the pass lock);
//   writer   - sends the output buffer (a caller that finds the buffer
//              empty and the writer idle hands its bytes to the device
//              itself; only what the device does not take at once waits for
//              the writer);
//   status   - polls the modem lines and line errors every 20 ms and queues
//              a status block when something changed.
// Threads start in the order reader, dispatch, writer, status, and the owner
// stops them in the order status, writer, reader, dispatch. Threads only
// signal; the owner (the thread that opened the port, normally the main
// thread) joins them and only then closes the device and frees the buffers.
// While it waits on the main thread it keeps the message loop running.
#pragma once

#include "platform/message_loop.h"
#include "platform/serial_device.h"
#include "serial/SioDispatch.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace sio {

class TSioPosixDispatcher : public TSioBaseDispatcher {
public:
    // device: the device to use (tests pass a fake); nullptr opens tty
    // nodes. The name given to InitPort is "COMn" (or "\\.\COMn"), resolved
    // through kyd::platform::resolvePortPath, or a device path.
    explicit TSioPosixDispatcher(void* owner = nullptr, std::unique_ptr<kyd::platform::SerialDevice> device = nullptr);
    ~TSioPosixDispatcher() override;

    // Manual mode: StartDispatcher starts no threads; a single-threaded test
    // drives ReaderStep/WriterStep/StatusStep and the dispatch passes itself.
    void SetManualThreads(bool manual) { manual_ = manual; }
    // Reads what the device holds into the I/O queue; 0 or -161.
    int ReaderStep();
    // Writes what the device takes of the output buffer; 0 or -160.
    int WriterStep();
    // Polls modem lines and line errors; queues a status block on a change.
    int StatusStep();

    kyd::platform::SerialDevice& Device() { return *device_; }

    // Device slots.
    int EscapeComFunction(int func) override;
    int FlushCom(int which) override;
    std::uint32_t GetComError() override;
    int GetComState(TLineState& state) override;
    int ReadCom(std::uint8_t* buffer, std::uint32_t len) override;
    int SetComState(const TLineState& state) override;
    int WriteCom(const std::uint8_t* block, std::uint32_t len) override;
    int SetupCom(std::uint32_t inSize, std::uint32_t outSize) override;
    int StartDispatcher() override;
    void StopDispatcher() override;
    std::uint32_t OutBufUsed() override;
    std::uint32_t InQueueUsed() override;
    int OpenCom(const std::string& name, std::uint32_t inSize, std::uint32_t outSize) override;
    int CloseCom() override;
    std::uint8_t ReadModemLines() override;
    void RoomInDispatchBuffer() override;
    void QueueConsumed() override;
    void WakeDispatchThread() override;
    // The main thread watches the device in the message loop and reads it
    // itself; the reader thread stands aside meanwhile.
    std::unique_ptr<OwnerInput> BeginOwnerInput() override;

    // Read block size of the reader.
    static constexpr std::int32_t kReadBlockSize = 4096;
    // How often a reader parked for the owner's input looks again.
    static constexpr int kParkCheckMs = 20;

protected:
    long DriverOutputQueued() override;
    void StopIOThreads() override;

private:
    enum ThreadId { thRead = 0, thDispatch = 1, thWrite = 2, thStatus = 3 };

    void ReadThread();
    void DispatchThread();
    void WriteThread();
    void StatusThread();
    void StartThread(ThreadId id);
    void StopThread(ThreadId id);
    // Stops the status, writer and reader threads. keepPassingReader: a
    // reader inside a data pass (whose handler may be the very caller, or
    // wait for it) is only told to stop; it is joined by the final close.
    void StopIOThreadsPrim(bool keepPassingReader);
    // Reader: runs the data pass for the pending block when the dispatch
    // thread is idle and the queue is empty. False: the block is still
    // pending and goes onto the queue as usual.
    bool DispatchOnReader();
    // Who reads the device (ReaderStep) right now.
    enum ReadRole { kNobody = 0, kReaderRole = 1, kOwnerRole = 2 };
    bool TakeReaderRole();
    // Reader: waits while the owner reads or watches the device.
    void ParkReader();
    // Owner: the watched device has input (or hung up).
    void OwnerReadable();
    // Owner: removes the watch; the reader thread reads again (at once
    // with wakeReader, else within kParkCheckMs).
    void EndOwnerInput(bool wakeReader);
    class OwnerInputSession;
    // The device threads (reader, writer, status) end: the port closes or
    // the line is gone.
    bool DeviceThreadsEnd() const { return KillThreads() || LineLost(); }
    void ThreadStarted();
    void ThreadGone(ThreadId id, int code);
    void WakeAll();
    void RecordDeviceFailure(int code);
    int MapOpenError(int deviceError) const;
    // A purge's result: 0, or failure (device error recorded).
    int PurgeResult(int deviceResult, int failure);

    std::unique_ptr<kyd::platform::SerialDevice> device_;
    bool manual_ = false;

    std::thread threads_[4];
    std::atomic<bool> ended_[4] = {};
    std::mutex threadMutex_;
    std::condition_variable threadCv_;
    int startedCount_ = 0; // guarded by threadMutex_

    kyd::platform::WakeEvent readerWake_;
    kyd::platform::WakeEvent writerWake_;
    kyd::platform::WakeEvent statusWake_;
    kyd::platform::WakeEvent roomWake_;
    std::atomic<bool> readerStalled_{false};
    // Held by whichever thread runs a data pass (the dispatch thread's
    // passes, or the reader's own pass of a block it just read).
    std::mutex passMutex_;
    std::atomic<bool> readerInPass_{false};
    // Process-clock time (ms) at which the dispatch thread's current wait
    // ends; a timer armed by a handler on the reader that is due earlier
    // wakes it.
    std::atomic<std::int64_t> dispatchWaitUntil_{0};
    std::atomic<bool> waitingForRoom_{false};

    // Reading the device is one role at a time: the reader thread's, or
    // the owner's while it watches the device in the message loop.
    std::atomic<int> readRole_{kNobody};
    std::atomic<bool> ownerWatching_{false};
    std::atomic<bool> readerParked_{false};
    kyd::platform::MessageLoop::WatchId ownerWatch_ = 0; // owner only
    std::uint64_t ownerSession_ = 0;                     // owner only

    // The first buffer of the I/O queue, lent as TIOQueue::Peek lends it;
    // data blocks read before the last input purge are dropped on the way.
    TIOBuffer* PeekInput();

    // Input purges so far. A device read and its stamp with this count are
    // one step under the purge lock, and so are a purge of the device and
    // the count's increment: a block carries the count of the purges before
    // its bytes arrived, and consumers drop it once that count is old.
    std::mutex purgeMutex_;
    std::atomic<std::uint64_t> inputGeneration_{0};
    std::unique_ptr<TDataBuffer> pendingBlock_; // read role: a block the full queue refused
    std::unique_ptr<TDataBuffer> spareBlock_;   // read role: the next block to read into
    bool writerInHand_ = false; // guarded by outputLock_: the writer is sending a piece
    std::atomic<std::uint32_t> pendingErrors_{0};
    unsigned lastLines_ = 0;     // status thread only
    bool haveLines_ = false;     // status thread only
    std::uint32_t pendingMask_ = 0; // status thread only
    std::shared_ptr<int> life_ = std::make_shared<int>(0);
};

} // namespace sio
