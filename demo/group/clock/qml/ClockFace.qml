import QtQuick 2.15

// An analogue dial with hour, minute and second hands.
Item {
    id: face
    width: 240
    height: 240

    property date time

    Rectangle {
        anchors.fill: parent
        radius: width / 2
        color: "#f4f1e8"
        border.color: "#3a3a3a"
        border.width: 4
    }

    Hand {
        center: Qt.point(face.width / 2, face.height / 2)
        thickness: 8; length: 60; color: "#3a3a3a"
        angle: (face.time.getHours() % 12 + face.time.getMinutes() / 60) * 30
    }
    Hand {
        center: Qt.point(face.width / 2, face.height / 2)
        thickness: 5; length: 90; color: "#3a3a3a"
        angle: face.time.getMinutes() * 6
    }
    Hand {
        center: Qt.point(face.width / 2, face.height / 2)
        thickness: 2; length: 100; color: "#c0392b"
        angle: face.time.getSeconds() * 6
    }
}
