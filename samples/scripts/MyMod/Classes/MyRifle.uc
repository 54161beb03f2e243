//=============================================================================
// MyRifle: the sample modification's weapon.
//=============================================================================
Class MyRifle Expands Weapon config(MyMod);

function Fire( float Value )
{
	AmmoCount--;
}
