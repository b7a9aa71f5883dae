// The dialog in which an installer takes a picture from each selected
// camera of both protocols at once: the maker's IP cameras with the
// devices' password (a sealed token each), ONVIF cameras with their user
// and password. A sibling of ClockDialog on the same base
// (BatchDialogBase): the same status column, Stop, summary and outcome file.
#pragma once

#include "AddressPlan.h"
#include "BatchDialogBase.h"
#include "BatchRunner.h"
#include "Jpeg.h"
#include "Secret.h"

#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// PictureDialog lists the devices it is given, in their order. Apply needs
// the devices' password when a maker's IP camera is listed, and the
// cameras' password (or the window's session login) when an ONVIF camera
// is; it then takes each camera's picture in turn. A row ends done once its
// picture decoded (pictureTaken follows), or refused with the outcome's
// reason; a device that is no camera is refused as not supported, nothing
// sent. While a batch runs the fields are locked and Stop cancels after
// the camera in flight (cameras not reached say so). Apply wipes the
// password fields.
//
// Children carry object names for tests: passwordField, userField,
// cameraPasswordField, applyButton, stopButton, saveButton, closeButton2,
// planTree, planInfo.
class PictureDialog : public BatchDialogBase {
    Q_OBJECT
public:
    enum Column { ColMac, ColName, ColType, ColAddress, ColStatus, ColCount };

    // A camera's picture as it came and its thumbnail, both decoded whole.
    struct Picture {
        std::string jpeg;
        snapshot::Thumbnail thumbnail;
    };
    // A camera login: the user and its password (null: none).
    struct Login {
        std::string user;
        SharedSecret password;
    };
    // Takes the picture of the entry's device: a maker's camera with the
    // entry's password, an ONVIF camera (listed with its endpoint) with
    // `camera`. Done with *picture filled, or the refusal. Runs on the
    // runner's thread; `cancelled` turns true when the batch is stopped.
    using TakeFn = std::function<commission::DeviceStatus(
        const commission::PlanEntry& entry, const Login& camera,
        const std::function<bool()>& cancelled, Picture* picture)>;

    // `session`: the window's camera login for this session, used when
    // the camera password field is left empty (null password: none).
    PictureDialog(std::vector<commission::PlanDevice> selected, TakeFn take, QString cameraUser,
                  Login session, QWidget* parent = nullptr);
    // Stops a running batch and waits for it; wipes the password fields.
    ~PictureDialog() override;

    // Starts the batch; false with a message box when a password it needs
    // is missing, false when a batch runs.
    bool apply() override;
    // The devices, in the dialog's order.
    const std::vector<commission::PlanEntry>& plan() const { return m_plan; }
    // Hands over the picture the batch took of entry index, once: false
    // when there is none (not taken, or handed over already).
    bool takePicture(size_t index, Picture* out);
    // Whether the device can give a picture: an ONVIF camera or the
    // maker's IP camera.
    static bool IsCamera(const commission::PlanDevice& device);

signals:
    // Entry index's picture is ready for takePicture; on the window thread.
    void pictureTaken(int index);

private:
    void setStatus(size_t index, const commission::DeviceStatus& status) override;
    void lockFields(bool locked) override;
    void batchEnded() override;
    void buildFields();
    void buildTree();
    bool listsMakerCamera() const;
    bool listsOnvifCamera() const;

    // What the runner's hook shares with the dialog: the cameras' login of
    // the latest Apply (written only while no batch runs, dropped when it
    // ends) and the pictures taken, by DeviceKey, until handed over.
    struct Shared {
        std::mutex lock;
        Login camera;
        std::map<std::string, Picture> pictures;
    };
    std::shared_ptr<Shared> m_shared = std::make_shared<Shared>();
    TakeFn m_take;
    Login m_session;
    LoginFields m_login;
};
