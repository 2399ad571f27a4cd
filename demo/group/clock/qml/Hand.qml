import QtQuick 2.15

// One hand of the dial, turning around its lower end.
Rectangle {
    id: hand

    property point center
    property real thickness
    property real length
    property real angle

    x: center.x - thickness / 2
    y: center.y - length
    width: thickness
    height: length
    radius: thickness / 2
    antialiasing: true
    transform: Rotation {
        origin.x: hand.thickness / 2
        origin.y: hand.length
        angle: hand.angle
    }
}
