#pragma once

#include <filesystem>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/ui/CameraDevice.h"

namespace ui {

// A camera for machines without one, switched on explicitly: either a folder of pictures
// served in turn (sorted by name, starting over after the last), or generated frames of a
// real camera's size, encoded as JPEG once and then served as they are.
class SimulatedCamera : public CameraDevice {
public:
    static std::shared_ptr<SimulatedCamera> withGeneratedFrames(int width = 3264,
                                                                int height = 2448);
    static std::shared_ptr<SimulatedCamera> withFolder(std::filesystem::path folder);

    std::string name() const override;
    bool isAvailable() const override;
    core::Expected<ImagePtr> capture() override;

    // The scene of a generated frame: a sky, a sun, a field and fence posts.
    static std::shared_ptr<Bitmap> generateScene(int width, int height);

private:
    SimulatedCamera(std::filesystem::path folder, int width, int height);
    core::Expected<ImagePtr> nextFromFolder();
    core::Expected<ImagePtr> generatedFrame();
    std::vector<std::filesystem::path> picturesInFolder() const;

    const std::filesystem::path folder_;  // empty for generated frames
    const int width_;
    const int height_;

    std::mutex mutex_;
    std::size_t next_ = 0;                      // guarded by mutex_
    std::shared_ptr<const core::Bytes> frame_;  // guarded by mutex_
};

}  // namespace ui
