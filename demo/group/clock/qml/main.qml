import QtQuick 2.15
import QtQuick.Controls 2.15

ApplicationWindow {
    id: window
    width: 360
    height: 420
    visible: true
    title: qsTr("Clock")

    property date now: new Date()

    Timer {
        interval: 1000
        running: true
        repeat: true
        onTriggered: window.now = new Date()
    }

    Column {
        anchors.centerIn: parent
        spacing: 16

        ClockFace {
            anchors.horizontalCenter: parent.horizontalCenter
            time: window.now
        }

        Label {
            anchors.horizontalCenter: parent.horizontalCenter
            font.pixelSize: 28
            text: Qt.formatTime(window.now, "hh:mm:ss")
        }
    }
}
